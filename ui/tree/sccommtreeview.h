#pragma once
#include "commtreeview.h"

// The network model's element tables, as the short-circuit dialog shows them.
class SCCommTreeView : public CheckTreeView {
    Q_OBJECT
  public:
    explicit SCCommTreeView(const CDBUtility& db, QWidget* parent = nullptr, const char* name = nullptr,
                            Qt::WindowFlags f = {});
};
