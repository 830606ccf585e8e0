#include "card/CardProof.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

std::string RawKey(const CardVolume& volume, int entry) {
    if (entry < 0 || entry >= CardVolume::kEntryCount)
        return "-";
    std::string key;
    char hex[3];
    for (uint8_t b : volume.Entries()[entry].Raw) {
        std::snprintf(hex, sizeof hex, "%02X", b);
        key += hex;
    }
    return key;
}

// Problems told by how many blocks they concern: only more of them is new.
bool Counted(CardProblemKind kind) {
    return kind == CardProblemKind::LeakedBlocks || kind == CardProblemKind::FreeCount;
}

} // namespace

bool CheckSystemImage(const BlockBytes (&system)[kSystemBlocks], CardProof& proof) {
    proof = CardProof();
    // The card in memory as an image file: blocks 0-240 zero (the check
    // reads only the system blocks), 241-255 as given.
    std::unique_ptr<uint8_t[]> image(new uint8_t[CardVolume::kCardBytes]());
    std::memcpy(image.get() + CardVolume::kDirLastBlock * CardVolume::kBlockSize, system,
                sizeof system);
    auto volume = std::make_unique<CardVolume>();
    volume->SetPlace(CardPlace::Image);
    std::FILE* stream = fmemopen(image.get(), CardVolume::kCardBytes, "rb");
    if (stream == nullptr)
        return false;
    volume->Store().OpenStream(stream, true);
    const bool ok = CheckCard(*volume, proof.report);
    for (const CardProblem& p : proof.report.problems) {
        std::string key = CardProblemName(p.kind);
        for (int entry : {p.entry, p.other}) {
            if (entry < 0)
                continue;
            key += ':';
            key += RawKey(*volume, entry);
        }
        proof.keys.push_back(key);
    }
    volume->CloseImage();
    return ok && proof.report.readable;
}

std::string NewProblem(const CardProof& now, const CardProof& after) {
    for (size_t i = 0; i < after.report.problems.size(); ++i) {
        const CardProblem& p = after.report.problems[i];
        if (p.note)
            continue;
        bool had = false;
        for (size_t j = 0; j < now.report.problems.size() && !had; ++j) {
            const CardProblem& q = now.report.problems[j];
            had = q.kind == p.kind && (Counted(p.kind) ? std::abs(q.count) >= std::abs(p.count)
                                                       : now.keys[j] == after.keys[i]);
        }
        if (!had)
            return p.text;
    }
    // A card that could be read now but not as it would be left.
    if (now.report.readable && !after.report.readable)
        return "The card could not be checked as it would be left.";
    return "";
}
