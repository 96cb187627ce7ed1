// Report-style list view: columns with width and alignment, small and large image lists, rows with an image
// and sub-items, multi and whole-row selection, grid lines. Row texts are Shift-JIS.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/controls.h"

namespace platform {

enum TAlignment : uint8_t { taLeftJustify, taRightJustify, taCenter };

class TListView : public TWinControl {
public:
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

    int Count() const;
    // Appends a row and returns its index.
    int AddItem(std::string_view caption, int imageIndex = -1);
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

    bool Selected(int index) const;
    void SetSelected(int index, bool selected);
    void SelectAll(bool selected);
    int SelectedCount() const;
    // First selected row at or after `from`, or -1.
    int NextSelected(int from = -1) const;
    int ItemFocused() const;

    void BeginUpdate();
    void EndUpdate();

    std::function<void()> OnDblClick;
    std::function<void(WORD virtualKey)> OnKeyDown;
    std::function<void(int column)> OnColumnClick;
    LRESULT HandleNotify(NMHDR* header) override;

private:
    int updateDepth_ = 0;
};

}  // namespace platform
