// A page resource of the statistics panel: parsed, shown and laid out.
#include "fuzz_input.h"
#include "panel/stat_rows.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zk::CStatRows rows;
    rows.EnterDisplayList();
    if (!rows.AddPage(zk::fuzz::Wide(data, size))) return 0;
    const zk::PageSize page = rows.ShowPage(rows.PageCount());
    rows.Layout(10, 30, page.width - 20);
    (void)rows.EditableVisibleRows();
    rows.ShowPage(0);
    return 0;
}
