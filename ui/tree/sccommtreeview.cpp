#include "sccommtreeview.h"

#include "db/textcodec.h"

using textcodec::gb;

namespace {

struct ElementKind {
    int code;
    const char* label;
    const char* table; // network model table
    const char* nodeCol;
    const char* nameCol;
};

// In registration order: a label registered twice keeps the later code.
const ElementKind kElementKinds[] = {
    {36, "厂站内交流线", "CDB_ACLINE", "I_Name", "ID_Name"},
    {37, "厂站内直流线", "CDB_DCLINE", "I_Name", "ID_Name"},
    {15, "两绕组变压器", "CDB_TRANS_2W", "I_Name", "ID_Name"},
    {17, "三绕组变压器", "CDB_TRANS_3W", "Name_1", "ID_Name"},
    {19, "发电机", "CDB_GENERAT", "Node_Name", "ID_Name"},
    {21, "负荷", "CDB_LOAD", "Node_Name", "ID_Name"},
    {23, "串联电容电抗器", "CDB_SCAPREA", "I_Name", "ID_Name"},
    {25, "并联电容电抗器", "CDB_PCAPREA", "Node_Name", "ID_Name"},
    {27, "移相器", "CDB_SHIFT", "I_Name", "ID_Name"},
    {33, "物理母线", "CDB_NODE", "Node_Name", "Node_Name"},
    {29, "开关", "CDB_BREAKER", "I_Name", "ID_Name"},
    {31, "刀闸", "CDB_ISOSWITCH", "I_Name", "ID_Name"},
    {12, "交流线", "CDB_ACLINE", "I_Name", "ID_Name"},
    {13, "直流线", "CDB_DCLINE", "I_Name", "ID_Name"},
};

int parentOf(int code) {
    switch (code) {
    case 36:
        return 34;
    case 37:
        return 35;
    case 12:
    case 13:
        return code;
    default:
        return code - 1;
    }
}

} // namespace

SCCommTreeView::SCCommTreeView(const CDBUtility& db, QWidget* parent, const char* name, Qt::WindowFlags f)
    : CheckTreeView(db, parent, name, f) {
    m_busCond = " a.isPhyBus and ";
    for (const ElementKind& e : kElementKinds) {
        Kind k;
        k.parent = parentOf(e.code);
        k.label = gb(e.label);
        k.table = e.table;
        k.nodeCol = e.nodeCol;
        k.nameCol = e.nameCol;
        k.idCol = "ID";
        registerKind(e.code, k);
    }
    // The search box names the phase shifters by their folder's label.
    registerLabel(gb("移相变压器"), 27);
    reloadRoot();
}
