// A saver's bytes as 86K code: every line of the listing, from the start
// and from a position the input chooses, and the code window's pages.
#include "FuzzFiles.h"
#include "tools/disasm/Disasm86k.h"
#include "tools/disasm/ListingPager.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzz::MemFile code("code");
    static auto pager = std::make_unique<ListingPager>();
    code.Set(data, size);

    auto reader = std::make_unique<Disasm86k>();
    std::string line;
    if (reader->Open(code.Path())) {
        while (reader->NextLine(line)) {
        }
        // Like "disasm --from": a start inside an instruction, counted from
        // an address the first bytes give.
        const int64_t from = size > 0 ? data[0] % (size + 1) : 0;
        reader->Counter = size > 2 ? static_cast<uint32_t>(data[1] << 8 | data[2]) : 0;
        if (reader->SeekTo(from)) {
            while (reader->NextLine(line)) {
            }
        }
        reader->Close();
    }

    if (pager->Load(code.Path())) {
        for (int k = 0; k < pager->PageCount(); ++k) {
            pager->ShowPage(k);
            std::string bytes[3];
            for (int i = 0; i < pager->LineCount(); ++i)
                ListingPager::ByteColumns(pager->Line(i), bytes);
        }
        pager->Goto(size > 3 ? data[3] * 97u : 0);
    }
    return 0;
}
