#pragma once
// Rows of a network-model table, written to the table and to its BAK copy alike.
#include "dbwriter.h"

#include "db/textcodec.h"

namespace casegen {

class ModelInserter {
  public:
    ModelInserter(DbWriter& w, const std::string& table, const std::vector<const char*>& columns)
        : m_live(w, table, columns), m_bak(w, table + "BAK", columns) {}

    template <class T> ModelInserter& add(const T& v) {
        m_live.add(v);
        m_bak.add(v);
        return *this;
    }
    ModelInserter& text(const std::string& local8) { return add(textcodec::fromLocal8(local8)); }

  private:
    Inserter m_live, m_bak;
};

} // namespace casegen
