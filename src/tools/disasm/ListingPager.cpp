#include "tools/disasm/ListingPager.h"

#include "base/SafeFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// Columns (0-based) of a listing line's three byte texts.
constexpr size_t kByteColumns[3] = {6, 9, 12};

// Lines of a page drawn and dropped while the page table is built.
int SkipPage(Disasm86k& reader, std::string& scratch) {
    int count = 0;
    while (count < ListingPager::kLinesPerPage && reader.NextLine(scratch))
        ++count;
    return count;
}

} // namespace

bool ListingPager::FillPage() {
    lineCount_ = 0;
    while (lineCount_ < kLinesPerPage) {
        const int64_t position = reader_.GetPosition();
        if (!reader_.NextLine(scratch_))
            return true;
        const size_t length = std::min<size_t>(scratch_.size(), Disasm86k::kMaxLineLength);
        std::memcpy(text_[lineCount_], scratch_.data(), length);
        lengths_[lineCount_] = static_cast<uint8_t>(length);
        positions_[lineCount_] = position;
        ++lineCount_;
    }
    return false;
}

bool ListingPager::Load(const std::string& fileName) {
    fileName_ = fileName;
    lineCount_ = 0;
    pageCount_ = 1;
    currentPage_ = 0;
    pages_[0] = Boundary{};
    pages_[1] = Boundary{};
    if (!reader_.Open(fileName))
        return false;
    bool ended = FillPage();
    pages_[1] = {reader_.GetPosition(), reader_.GetPosition()};
    // A page that ended exactly on its last line is followed by an empty one,
    // since only the next read tells that the file is over.
    while (!ended && pageCount_ < kMaxPages) {
        ended = SkipPage(reader_, scratch_) < kLinesPerPage;
        ++pageCount_;
        pages_[pageCount_] = {reader_.GetPosition(), reader_.GetPosition()};
    }
    reader_.Close();
    return true;
}

bool ListingPager::ShowPage(int k) {
    if (k < 0 || k >= pageCount_)
        return false;
    currentPage_ = k;
    lineCount_ = 0;
    if (!reader_.Open(fileName_))
        return false;
    reader_.Counter = static_cast<uint32_t>(pages_[k].address);
    const bool sought = reader_.SeekTo(pages_[k].position);
    if (sought)
        FillPage();
    reader_.Close();
    return sought;
}

int ListingPager::PageOf(int64_t target) const {
    int page = 0;
    for (int k = 1; k < pageCount_; ++k)
        if (pages_[k].address <= target)
            page = k;
    return page;
}

ListingPager::GotoResult ListingPager::Goto(uint32_t target) {
    GotoResult result;
    const auto at = static_cast<int64_t>(target);
    if (at >= EndAddress()) {
        result.overflow = true;
        return result;
    }
    if (pageCount_ > 1) {
        const int page = PageOf(at);
        if (page != currentPage_) {
            ShowPage(page);
            result.pageChanged = true;
        }
    }
    for (int i = 0; i < lineCount_; ++i) {
        if (positions_[i] >= at) {
            result.line = i;
            break;
        }
    }
    return result;
}

bool ListingPager::Patch(int64_t position, const uint8_t* bytes, int count) {
    if (position < 0 || count < 1 || count > 3)
        return false;
    // Never creates a file: a work file that has gone stays gone. Nor does
    // it patch through a link or into a file another user put there.
    std::FILE* file = OpenStreamForUpdate(fileName_);
    if (file == nullptr)
        return false;
    bool written = false;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        const long size = std::ftell(file);
        if (size >= 0 && position + count <= size &&
            std::fseek(file, static_cast<long>(position), SEEK_SET) == 0)
            written = std::fwrite(bytes, 1, static_cast<size_t>(count), file) ==
                      static_cast<size_t>(count);
    }
    return std::fclose(file) == 0 && written;
}

std::string ListingPager::PageLabel() const {
    return "page " + std::to_string(currentPage_ + 1) + " of " + std::to_string(pageCount_);
}

void ListingPager::ByteColumns(std::string_view line, std::string (&bytes)[3]) {
    for (int i = 0; i < 3; ++i) {
        bytes[i].clear();
        const size_t column = kByteColumns[i];
        if (column + 2 > line.size())
            continue;
        const std::string_view text = line.substr(column, 2);
        if (text.find_first_not_of(' ') != std::string_view::npos)
            bytes[i] = std::string(text);
    }
}
