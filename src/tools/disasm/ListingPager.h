#pragma once

#include "tools/disasm/Disasm86k.h"

#include <cstdint>
#include <string>
#include <string_view>

// The code window's listing of a work file, page by page: the page table built
// by one pass over the whole file, the lines of the page on show, going to an
// address, and patching bytes in the file. Every line keeps its full file
// position beside its text, since the text shows only the low 16 bits of the
// address: on files of more than 64 KB, Goto and patches must use the true
// position, never the wrapped one. The page on show lives in fixed buffers
// (some 600 KB): hold the pager on the heap.
class ListingPager {
  public:
    static constexpr int kLinesPerPage = 8193;
    // A saver has at most 256 blocks, far fewer than 256 pages.
    static constexpr int kMaxPages = 256;

    // Where a page begins. Addresses equal file positions, since listing starts
    // at position 0 with address 0 and every page starts with address = position.
    struct Boundary {
        int64_t address = 0;
        int64_t position = 0;
    };

    struct GotoResult {
        bool overflow = false;    // target at or beyond the end of the file
        bool pageChanged = false; // another page is now on show
        int line = -1;            // line of the page to select; -1: none
    };

    // Builds the page table and shows page 0. False when the file cannot be
    // opened; the pager is then empty (one page, no lines).
    bool Load(const std::string& fileName);
    // Lists page k (0-based) of the loaded file. False when k is not a page
    // or the file can no longer be read (the page is then shown empty).
    bool ShowPage(int k);
    // Goes to the first line whose position is at or above target, switching
    // page if need be. The target is taken as an unsigned 32-bit number.
    GotoResult Goto(uint32_t target);
    // Writes count bytes (1 to 3) at the position in the work file, which must
    // already hold them: a patch never makes the file longer. False when the
    // file cannot be written or no longer holds that position.
    bool Patch(int64_t position, const uint8_t* bytes, int count);

    const std::string& FileName() const { return fileName_; }
    int PageCount() const { return pageCount_; }
    int CurrentPage() const { return currentPage_; }
    const Boundary& PageStart(int k) const { return pages_[k]; }
    // boundary [page count]: the end of the listed file.
    int64_t EndAddress() const { return pages_[pageCount_].address; }
    // "page 1 of 3".
    std::string PageLabel() const;

    // Lines of the page on show, each with the file position of its first byte.
    int LineCount() const { return lineCount_; }
    std::string_view Line(int i) const { return {text_[i], static_cast<size_t>(lengths_[i])}; }
    int64_t Position(int i) const { return positions_[i]; }

    // Hex texts of a listing line's byte columns (7-8, 10-11, 13-14); a column
    // beyond the line, or blank, gives "".
    static void ByteColumns(std::string_view line, std::string (&bytes)[3]);

  private:
    // Fills the page from the reader until it is full or the file ends; true
    // when the file ended.
    bool FillPage();
    // Page whose boundary is the last one at or below target.
    int PageOf(int64_t target) const;

    std::string fileName_;
    int pageCount_ = 1;
    int currentPage_ = 0;
    Boundary pages_[kMaxPages + 1];
    Disasm86k reader_;
    std::string scratch_;
    int lineCount_ = 0;
    char text_[kLinesPerPage][Disasm86k::kMaxLineLength] = {};
    uint8_t lengths_[kLinesPerPage] = {};
    int64_t positions_[kLinesPerPage] = {};
};
