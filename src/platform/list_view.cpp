// Report list view over the common control. Each item's lParam points to a record the wrapper owns, holding
// the row's sub-item count (so sub-items can be appended as the rows are filled) and the program's own value;
// sorting reads every row once and lets the control reorder the items by their records.
#include "platform/list_view.h"

#include <algorithm>
#include <exception>

#include "platform/form.h"
#include "platform/sjis.h"

namespace platform {

const std::string& TListRow::Column(int column) const {
    static const std::string empty;
    if (column <= 0) return Caption;
    size_t i = static_cast<size_t>(column - 1);
    return i < SubItems.size() ? SubItems[i] : empty;
}

TListView::TListView() = default;
TListView::~TListView() = default;

TListView::RowRecord* TListView::Record(int index) const {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = index;
    if (index < 0 || !Send(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return nullptr;
    auto* record = reinterpret_cast<RowRecord*>(item.lParam);
    return records_.count(record) ? record : nullptr;
}

void TListView::FreeRecord(RowRecord* record) {
    if (record) records_.erase(record);
}

void TListView::Create(TForm& form, int x, int y, int width, int height, Options options) {
    DWORD style = WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS |
                  (options.multiSelect ? 0 : LVS_SINGLESEL) | (options.readOnly ? 0 : LVS_EDITLABELS);
    CreateControl(form, WC_LISTVIEWW, style, WS_EX_CLIENTEDGE, x, y, width, height, {});
    DWORD ex = (options.rowSelect ? LVS_EX_FULLROWSELECT : 0) | (options.gridLines ? LVS_EX_GRIDLINES : 0);
    Send(LVM_SETEXTENDEDLISTVIEWSTYLE, ex, ex);
}

int TListView::AddColumn(std::string_view caption, int width, TAlignment alignment) {
    std::wstring w = SjisToWide(caption);
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    col.fmt = alignment == taRightJustify ? LVCFMT_RIGHT
              : alignment == taCenter     ? LVCFMT_CENTER
                                          : LVCFMT_LEFT;
    col.cx = width;
    col.pszText = w.data();
    int index = ColumnCount();
    return static_cast<int>(
        Send(LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&col)));
}

int TListView::ColumnCount() const {
    HWND header = reinterpret_cast<HWND>(Send(LVM_GETHEADER));
    return header ? static_cast<int>(::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
}

void TListView::SetSmallImages(const TImageList* images) {
    Send(LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images ? images->Handle() : nullptr));
}
void TListView::SetLargeImages(const TImageList* images) {
    Send(LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(images ? images->Handle() : nullptr));
}
HIMAGELIST TListView::SmallImages() const {
    return reinterpret_cast<HIMAGELIST>(Send(LVM_GETIMAGELIST, LVSIL_SMALL));
}
HIMAGELIST TListView::LargeImages() const {
    return reinterpret_cast<HIMAGELIST>(Send(LVM_GETIMAGELIST, LVSIL_NORMAL));
}

int TListView::Count() const { return static_cast<int>(Send(LVM_GETITEMCOUNT)); }

TViewStyle TListView::ViewStyle() const {
    switch (::GetWindowLongW(hwnd_, GWL_STYLE) & LVS_TYPEMASK) {
        case LVS_ICON: return vsIcon;
        case LVS_SMALLICON: return vsSmallIcon;
        case LVS_LIST: return vsList;
        default: return vsReport;
    }
}

void TListView::SetViewStyle(TViewStyle style) {
    static constexpr DWORD kTypes[] = {LVS_ICON, LVS_SMALLICON, LVS_LIST, LVS_REPORT};
    LONG s = ::GetWindowLongW(hwnd_, GWL_STYLE);
    ::SetWindowLongW(hwnd_, GWL_STYLE, static_cast<LONG>((s & ~LVS_TYPEMASK) | kTypes[style]));
}

int TListView::AddItem(std::string_view caption, int imageIndex, LPARAM data) {
    std::wstring w = SjisToWide(caption);
    auto owned = std::make_unique<RowRecord>();
    RowRecord* record = owned.get();
    record->data = data;
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    item.iItem = Count();
    item.pszText = w.data();
    item.iImage = imageIndex;
    item.lParam = reinterpret_cast<LPARAM>(record);
    int index = static_cast<int>(Send(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (index >= 0) records_.emplace(record, std::move(owned));
    return index;
}

void TListView::Delete(int index) {
    RowRecord* record = Record(index);
    // The rows below move up into its place: all of them are painted again, not moved as they were drawn
    // (a stale picture of a row that moved would show it twice, until something made the list repaint).
    RECT moved = ItemRect(index);
    if (!Send(LVM_DELETEITEM, static_cast<WPARAM>(index))) return;
    FreeRecord(record);
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    if (moved.bottom > moved.top && updateDepth_ == 0) {
        client.top = std::max(client.top, moved.top);
        ::InvalidateRect(hwnd_, &client, TRUE);
    }
}

void TListView::Clear() {
    Send(LVM_DELETEALLITEMS);
    records_.clear();
}

std::string TListView::SubItem(int index, int subItem) const {
    std::wstring buffer(1024, L'\0');
    for (;;) {
        LVITEMW item{};
        item.iSubItem = subItem + 1;
        item.pszText = buffer.data();
        item.cchTextMax = static_cast<int>(buffer.size());
        LRESULT n = Send(LVM_GETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
        if (static_cast<size_t>(n) + 1 < buffer.size()) {
            buffer.resize(static_cast<size_t>(n));
            return WideToSjis(buffer);
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string TListView::Caption(int index) const { return SubItem(index, -1); }

void TListView::SetSubItem(int index, int subItem, std::string_view text) {
    std::wstring w = SjisToWide(text);
    LVITEMW item{};
    item.iSubItem = subItem + 1;
    item.pszText = w.data();
    Send(LVM_SETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    RowRecord* record = Record(index);
    if (record && subItem >= record->subItems) record->subItems = subItem + 1;
}

void TListView::SetCaption(int index, std::string_view caption) { SetSubItem(index, -1, caption); }

int TListView::SubItemCount(int index) const {
    RowRecord* record = Record(index);
    return record ? record->subItems : 0;
}

LPARAM TListView::Data(int index) const {
    RowRecord* record = Record(index);
    return record ? record->data : 0;
}

void TListView::SetData(int index, LPARAM data) {
    if (RowRecord* record = Record(index)) record->data = data;
}

TListRow TListView::Row(int index) const {
    TListRow row;
    row.Caption = Caption(index);
    int columns = ColumnCount();
    for (int c = 1; c < columns; ++c) row.SubItems.push_back(SubItem(index, c - 1));
    row.Data = Data(index);
    return row;
}

namespace {
struct SortContext {
    const std::vector<TListRow>* rows;
    const TListView::TCompare* compare;
    std::exception_ptr error;
};
}  // namespace

// Called by the control: nothing may unwind through it.
int CALLBACK TListView::CompareRecords(LPARAM a, LPARAM b, LPARAM param) {
    auto* ctx = reinterpret_cast<SortContext*>(param);
    if (ctx->error) return 0;
    try {
        const auto& rows = *ctx->rows;
        return (*ctx->compare)(rows[reinterpret_cast<RowRecord*>(a)->sortSlot],
                               rows[reinterpret_cast<RowRecord*>(b)->sortSlot]);
    } catch (...) {
        ctx->error = std::current_exception();
        return 0;
    }
}

void TListView::CustomSort(const TCompare& compare) {
    int n = Count();
    std::vector<TListRow> rows;
    rows.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        RowRecord* record = Record(i);
        if (!record) return;  // an item this wrapper did not add: leave the order alone
        record->sortSlot = rows.size();
        rows.push_back(Row(i));
    }
    SortContext context{&rows, &compare, nullptr};
    Send(LVM_SORTITEMS, reinterpret_cast<WPARAM>(&context),
         reinterpret_cast<LPARAM>(&TListView::CompareRecords));
    if (context.error) std::rethrow_exception(context.error);
}

void TListView::AddSubItem(int index, std::string_view text) { SetSubItem(index, SubItemCount(index), text); }

int TListView::ImageIndex(int index) const {
    LVITEMW item{};
    item.mask = LVIF_IMAGE;
    item.iItem = index;
    if (!Send(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return -1;
    return item.iImage;
}

void TListView::SetImageIndex(int index, int imageIndex) {
    LVITEMW item{};
    item.mask = LVIF_IMAGE;
    item.iItem = index;
    item.iImage = imageIndex;
    Send(LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

bool TListView::Selected(int index) const {
    return (Send(LVM_GETITEMSTATE, static_cast<WPARAM>(index), LVIS_SELECTED) & LVIS_SELECTED) != 0;
}

void TListView::SetSelected(int index, bool selected) {
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED;
    item.state = selected ? LVIS_SELECTED : 0;
    Send(LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

void TListView::SelectAll(bool selected) { SetSelected(-1, selected); }

int TListView::SelectedCount() const { return static_cast<int>(Send(LVM_GETSELECTEDCOUNT)); }

int TListView::NextSelected(int from) const {
    return static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(from), LVNI_SELECTED));
}

int TListView::ItemFocused() const {
    return static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
}

RECT TListView::ItemRect(int index) const {
    RECT r{};
    r.left = LVIR_BOUNDS;
    if (!Send(LVM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r))) return RECT{};
    return r;
}

HIMAGELIST TListView::CreateDragImage(POINT cursorScreen, POINT& hotSpot) const {
    hotSpot = {0, 0};
    int first = NextSelected();
    if (first < 0) first = ItemFocused();
    if (first < 0) return nullptr;
    POINT origin{};
    auto image = reinterpret_cast<HIMAGELIST>(
        Send(LVM_CREATEDRAGIMAGE, static_cast<WPARAM>(first), reinterpret_cast<LPARAM>(&origin)));
    if (!image) return nullptr;
    POINT client = cursorScreen;
    ::ScreenToClient(hwnd_, &client);
    hotSpot = {client.x - origin.x, client.y - origin.y};
    return image;
}

void TListView::BeginUpdate() {
    if (updateDepth_++ == 0) Send(WM_SETREDRAW, FALSE);
}

void TListView::EndUpdate() {
    if (updateDepth_ > 0 && --updateDepth_ == 0) {
        Send(WM_SETREDRAW, TRUE);
        ::InvalidateRect(hwnd_, nullptr, TRUE);
    }
}

LRESULT TListView::HandleNotify(NMHDR* header) {
    switch (header->code) {
        case NM_DBLCLK:
            if (OnDblClick) OnDblClick();
            break;
        case LVN_KEYDOWN:
            if (OnKeyDown) OnKeyDown(reinterpret_cast<NMLVKEYDOWN*>(header)->wVKey);
            break;
        case LVN_COLUMNCLICK:
            if (OnColumnClick) OnColumnClick(reinterpret_cast<NMLISTVIEW*>(header)->iSubItem);
            break;
        case LVN_BEGINDRAG:
            if (OnStartDrag) OnStartDrag();
            break;
        default: break;
    }
    return 0;
}

}  // namespace platform
