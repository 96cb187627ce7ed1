// Report list view over the common control, with the row's sub-item count kept in the item's lParam so
// that sub-items can be appended as the rows are filled.
#include "platform/list_view.h"

#include "platform/form.h"
#include "platform/sjis.h"

namespace platform {

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

int TListView::AddItem(std::string_view caption, int imageIndex) {
    std::wstring w = SjisToWide(caption);
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    item.iItem = Count();
    item.pszText = w.data();
    item.iImage = imageIndex;
    item.lParam = 0;
    return static_cast<int>(Send(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

void TListView::Delete(int index) { Send(LVM_DELETEITEM, static_cast<WPARAM>(index)); }
void TListView::Clear() { Send(LVM_DELETEALLITEMS); }

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
    if (subItem >= SubItemCount(index)) {
        LVITEMW param{};
        param.mask = LVIF_PARAM;
        param.iItem = index;
        param.lParam = subItem + 1;
        Send(LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&param));
    }
}

void TListView::SetCaption(int index, std::string_view caption) { SetSubItem(index, -1, caption); }

int TListView::SubItemCount(int index) const {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = index;
    if (!Send(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return 0;
    return static_cast<int>(item.lParam);
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
        default: break;
    }
    return 0;
}

}  // namespace platform
