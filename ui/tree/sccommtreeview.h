#pragma once
#include "commtreeview.h"

// The network model's element tables, as the short-circuit dialog shows them.
class SCCommTreeView : public CheckTreeView {
    Q_OBJECT
  public:
    explicit SCCommTreeView(QWidget* parent = nullptr, const char* name = nullptr, Qt::WindowFlags f = {});
};

// The elements read from the result tables of one load-flow case.
class LFCommTreeView : public CheckTreeView {
    Q_OBJECT
  public:
    LFCommTreeView(QWidget* parent, const std::string& caseName8, const char* name = nullptr,
                   Qt::WindowFlags f = {});
    void setCase(const std::string& caseName8) override;

  private:
    void useCase(const std::string& caseName8);
    std::string m_caseName;
};
