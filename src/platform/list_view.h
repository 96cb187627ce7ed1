// Report-style list view: columns with width and alignment, small and large image lists, rows with an image,
// sub-items and a value of the program's own, multi and whole-row selection, grid lines, sorting by a compare
// function, and the start of a drag. Row texts are Shift-JIS.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/controls.h"

namespace platform {

enum TAlignment : uint8_t { taLeftJustify, taRightJustify, taCenter };
enum TViewStyle : uint8_t { vsIcon, vsSmallIcon, vsList, vsReport };

// A row as a compare function sees it: texts and the program's value, read before the sort starts.
struct TListRow {
    std::string Caption;
    std::vector<std::string> SubItems;  // one per column after the first, "" where none was set
    LPARAM Data = 0;
    // The text of a column: 0 is the caption.
    const std::string& Column(int column) const;
};

class TListView : public TWinControl {
public:
    TListView();
    ~TListView() override;
    struct Options {
        bool multiSelect = true;
        bool rowSelect = true;
        bool gridLines = true;
        bool readOnly = true;
    };
    void Create(TForm& form, int x, int y, int width, int height, Options options);
    void Create(TForm& form, int x, int y, int width, int height) {
        Create(form, x, y, width, height, Options{});
    }

    int AddColumn(std::string_view caption, int width, TAlignment alignment = taLeftJustify);
    int ColumnCount() const;
    // The list view does not own the image lists.
    void SetSmallImages(const TImageList* images);
    void SetLargeImages(const TImageList* images);
    HIMAGELIST SmallImages() const;
    HIMAGELIST LargeImages() const;

    TViewStyle ViewStyle() const;
    void SetViewStyle(TViewStyle style);

    int Count() const;
    // Appends a row and returns its index.
    int AddItem(std::string_view caption, int imageIndex = -1, LPARAM data = 0);
    void Delete(int index);
    void Clear();
    std::string Caption(int index) const;
    void SetCaption(int index, std::string_view caption);
    int ImageIndex(int index) const;
    void SetImageIndex(int index, int imageIndex);
    // Sub-items are numbered from 0 (the second column). AddSubItem appends after the row's last one.
    void AddSubItem(int index, std::string_view text);
    int SubItemCount(int index) const;
    std::string SubItem(int index, int subItem) const;
    void SetSubItem(int index, int subItem, std::string_view text);
    // The program's value of a row (0 until set); the list view never reads it.
    LPARAM Data(int index) const;
    void SetData(int index, LPARAM data);
    TListRow Row(int index) const;

    // Sorts the rows by a compare function (negative: a before b). Selection, images and values move with
    // their rows. What the function throws ends the sort early and is rethrown.
    using TCompare = std::function<int(const TListRow& a, const TListRow& b)>;
    void CustomSort(const TCompare& compare);

    bool Selected(int index) const;
    void SetSelected(int index, bool selected);
    void SelectAll(bool selected);
    int SelectedCount() const;
    // First selected row at or after `from`, or -1.
    int NextSelected(int from = -1) const;
    int ItemFocused() const;
    // The row's bounds in client coordinates (empty when there is no such row).
    RECT ItemRect(int index) const;
    // A picture of the selected rows for a drag, and the point of it under the cursor; the caller owns it.
    HIMAGELIST CreateDragImage(POINT cursorScreen, POINT& hotSpot) const;

    void BeginUpdate();
    void EndUpdate();

    std::function<void()> OnDblClick;
    std::function<void(WORD virtualKey)> OnKeyDown;
    std::function<void(int column)> OnColumnClick;
    // The user pressed the left button on a row and moved past the drag threshold.
    std::function<void()> OnStartDrag;
    LRESULT HandleNotify(NMHDR* header) override;

private:
    // What the wrapper keeps per row; the item's lParam points to it.
    struct RowRecord {
        LPARAM data = 0;
        int subItems = 0;
        size_t sortSlot = 0;
    };
    RowRecord* Record(int index) const;
    static int CALLBACK CompareRecords(LPARAM a, LPARAM b, LPARAM context);
    void FreeRecord(RowRecord* record);

    int updateDepth_ = 0;
    std::unordered_map<RowRecord*, std::unique_ptr<RowRecord>> records_;
};

}  // namespace platform
