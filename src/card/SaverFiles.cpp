#include "card/SaverFiles.h"

#include "base/AtomicFile.h"
#include "base/FileNames.h"
#include "card/DciFile.h"
#include "card/LoadVolume.h"
#include "card/ReplaceSaver.h"
#include "card/SaverChains.h"
#include "card/TransferEngine.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <set>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr size_t kVmsStemLength = kVmiResourceLength;
constexpr const char* kNotTried = "not tried: the card stopped answering";

// Names some systems keep for devices, whatever follows the dot.
bool DeviceName(const std::string& stem) {
    static const char* const kNames[] = {"con", "prn", "aux", "nul"};
    const std::string lower = AsciiLower(stem);
    for (const char* name : kNames) {
        if (lower == name)
            return true;
    }
    return lower.size() == 4 && (lower.rfind("com", 0) == 0 || lower.rfind("lpt", 0) == 0) &&
           lower[3] >= '1' && lower[3] <= '9';
}

// The saver's name as a file name any file system takes.
std::string SafeStem(const std::string& name, size_t limit) {
    std::string stem;
    for (size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        // A Shift-JIS character is two bytes, the second of which may look
        // like a letter.
        if (((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) && i + 1 < name.size()) {
            stem += "__";
            ++i;
            continue;
        }
        const bool plain = c < 0x80 && (std::isalnum(c) != 0 || c == '-' || c == '_');
        stem += plain ? static_cast<char>(c) : '_';
    }
    // A leading '-' reads as an option on a command line.
    if (!stem.empty() && stem[0] == '-')
        stem[0] = '_';
    if (stem.empty())
        stem = "SAVER";
    if (stem.size() > limit)
        stem.resize(limit);
    if (DeviceName(stem))
        stem.replace(std::min(stem.size(), limit - 1), std::string::npos, "_");
    return stem;
}

const char* Extension(SaverFileFormat format, bool vmi = false) {
    return format == SaverFileFormat::Dci ? ".DCI" : vmi ? ".VMI" : ".VMS";
}

// Every mention of a temporary file's name replaced by the file it stands for.
std::string Renamed(std::string text, const std::string& from, const std::string& to) {
    if (from.empty() || from == to)
        return text;
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string FileProblem(const std::string& path) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (fs::is_regular_file(status))
        return "";
    if (!fs::exists(status))
        return "File " + path + " not found.";
    return path + " is not a regular file; it is not read.";
}

} // namespace

std::vector<SaverFileName> SaverFileNames(const CardVolume& volume, SaverFileFormat format) {
    const size_t limit = format == SaverFileFormat::VmsPair ? kVmsStemLength : 64;
    std::vector<SaverFileName> names;
    std::set<std::string> used;
    for (int k = 0; k < volume.ListedCount(); ++k) {
        const int entry = volume.ListMap()[k];
        const std::string base = SafeStem(volume.Entries()[entry].TrimmedName(), limit);
        std::string stem = base;
        for (int n = 2; used.count(AsciiLower(stem)) != 0; ++n) {
            std::string suffix(1, '~');
            suffix += std::to_string(n);
            stem.assign(base, 0, std::min(base.size(), limit - suffix.size()));
            stem.append(suffix);
        }
        used.insert(AsciiLower(stem));
        names.push_back({entry, stem});
    }
    return names;
}

std::vector<std::string> SaverFilePaths(const std::string& folder, const std::string& stem,
                                        SaverFileFormat format) {
    const fs::path dir(folder);
    std::vector<std::string> paths{(dir / (stem + Extension(format))).string()};
    if (format == SaverFileFormat::VmsPair)
        paths.push_back((dir / (stem + Extension(format, true))).string());
    return paths;
}

bool ExportSaverFile(CardVolume& volume, int entry, const std::string& folder,
                     const std::string& stem, SaverFileFormat format, bool replace,
                     std::string& error) {
    const std::vector<std::string> paths = SaverFilePaths(folder, stem, format);
    std::vector<std::unique_ptr<AtomicFile>> files;
    for (const std::string& path : paths) {
        files.push_back(std::make_unique<AtomicFile>(path));
        if (!files.back()->Ready()) {
            error = "cannot write " + path + ": " + files.back()->Error();
            return false;
        }
    }
    if (entry < 0 || entry >= CardVolume::kEntryCount || volume.Entries()[entry].SizeBlocks == 0) {
        error = "no saver in that entry";
        return false;
    }
    SaverChain chain;
    WalkSaverChain(volume, volume.Entries()[entry], chain);
    if (!chain.Whole()) {
        error = "the saver's chain is broken";
        return false;
    }
    if (format == SaverFileFormat::Dci) {
        if (!ExportDci(files[0]->Path(), entry, volume)) {
            error = "the saver could not be read whole or " + paths[0] + " not written";
            return false;
        }
    } else if (!ExportVmsVmi(files[0]->Path(), files[1]->Path(), stem, entry, volume, error)) {
        error = Renamed(Renamed(error, files[0]->Path(), paths[0]), files[1]->Path(), paths[1]);
        return false;
    }
    // All of the saver's files on disk before the first takes its name.
    for (const auto& file : files) {
        if (!file->Flush()) {
            error = "cannot write " + file->Target() + ": " + file->Error();
            return false;
        }
    }
    for (const auto& file : files) {
        if (!file->Commit(replace)) {
            error = file->ErrorNumber() == EEXIST
                        ? "File " + file->Target() + " exists; not overwritten"
                        : "cannot write " + file->Target() + ": " + file->Error();
            return false;
        }
    }
    return true;
}

bool SaveFilesIn(const std::string& folder, std::vector<std::string>& files, std::string& error) {
    files.clear();
    std::error_code ec;
    std::vector<fs::path> dcis, vmis, vmss;
    fs::directory_iterator it(folder, ec);
    if (ec) {
        error = "cannot read the folder " + folder + ": " + ec.message();
        return false;
    }
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) {
            error = "cannot read the folder " + folder + ": " + ec.message();
            return false;
        }
        std::error_code statError;
        if (!fs::is_regular_file(it->path(), statError))
            continue;
        const std::string name = it->path().string();
        if (HasExtension(name, ".dci"))
            dcis.push_back(it->path());
        else if (HasExtension(name, ".vmi"))
            vmis.push_back(it->path());
        else if (HasExtension(name, ".vms"))
            vmss.push_back(it->path());
    }
    // A VMS comes in through the VMI that names it, or that shares its name
    // (the VMI is then refused with its reason).
    std::set<std::string> covered;
    for (const fs::path& vmi : vmis) {
        VmsPair pair;
        std::string ignored;
        if (FindVmsPair(vmi.string(), pair, ignored))
            covered.insert(AsciiLower(fs::path(pair.vms).filename().string()));
        covered.insert(AsciiLower(vmi.stem().string() + ".vms"));
    }
    std::vector<fs::path> all = dcis;
    all.insert(all.end(), vmis.begin(), vmis.end());
    for (const fs::path& vms : vmss) {
        if (covered.count(AsciiLower(vms.filename().string())) == 0)
            all.push_back(vms);
    }
    std::sort(all.begin(), all.end(), [](const fs::path& a, const fs::path& b) {
        return a.filename().string() < b.filename().string();
    });
    for (const fs::path& path : all)
        files.push_back(path.string());
    return true;
}

bool IsLoneVms(const std::string& path) {
    VmsPair pair;
    std::string error;
    return IsVmsPath(path) && FindVmsPair(path, pair, error) && pair.Lone();
}

PreparedSaverFile::PreparedSaverFile() = default;
PreparedSaverFile::~PreparedSaverFile() = default;

bool PreparedSaverFile::Prepare(const std::string& path, VmsBuild& build, std::string& error) {
    source_ = path;
    dci_ = path;
    advice_.clear();
    if (!(error = FileProblem(path)).empty())
        return false;
    if (IsVmsPath(path) || IsVmiPath(path)) {
        VmsPair pair;
        if (!FindVmsPair(path, pair, error))
            return false;
        temp_ = std::make_unique<TempSaverFile>();
        if (temp_->Path().empty()) {
            error = "cannot make a temporary file";
            return false;
        }
        if (!BuildDciFromVms(pair, temp_->Path(), build, error)) {
            error = Renamed(error, temp_->Path(), path);
            return false;
        }
        dci_ = temp_->Path();
        advice_ = pair.Lone()
                      ? path + ": no VMI beside it, so the saver is named after the " +
                            "file and dated now, as " + (build.loneAsGame ? "a game" : "data")
                      : build.advice;
    }
    std::FILE* file = std::fopen(dci_.c_str(), "rb");
    uint8_t header[kDciHeaderSize] = {};
    const bool whole =
        file != nullptr && std::fread(header, 1, kDciHeaderSize, file) == kDciHeaderSize;
    if (file != nullptr)
        std::fclose(file);
    std::error_code ec;
    const uintmax_t size = fs::file_size(dci_, ec);
    const uintmax_t need =
        kDciHeaderSize +
        static_cast<uintmax_t>(header[SaverEntry::kSizeOffset]) * CardVolume::kBlockSize;
    if (!whole || ec || size < need) {
        error = file == nullptr ? "cannot open " + path : path + " is shorter than its header says";
        return false;
    }
    name_.assign(reinterpret_cast<const char*>(header + SaverEntry::kNameOffset),
                 SaverEntry::kNameLength);
    return true;
}

std::string PreparedSaverFile::Named(const std::string& text) const {
    return Renamed(text, dci_, source_);
}

std::vector<SaverFileReport> ImportSaverFiles(const std::vector<std::string>& files,
                                              CardVolume& volume,
                                              const SaverFileQuestions& questions,
                                              std::time_t now) {
    std::vector<SaverFileReport> reports;
    const int count = static_cast<int>(files.size());
    bool stopped = false;
    for (int i = 0; i < count; ++i) {
        SaverFileReport report;
        report.file = files[i];
        if (stopped) {
            report.reason = kNotTried;
            reports.push_back(report);
            continue;
        }
        if (questions.progress)
            questions.progress(i, count, files[i]);
        VmsBuild build;
        build.now = now;
        const LoneVmsChoice lone = IsLoneVms(files[i]) && questions.loneVms
                                       ? questions.loneVms(files[i])
                                       : LoneVmsChoice::Data;
        if (lone == LoneVmsChoice::Skip) {
            report.reason = "not imported: no VMI beside it, and it was not said what it is";
            reports.push_back(report);
            continue;
        }
        build.loneAsGame = lone == LoneVmsChoice::Game;
        PreparedSaverFile prepared;
        if (!prepared.Prepare(files[i], build, report.reason)) {
            reports.push_back(report);
            continue;
        }
        report.name = prepared.Name();
        report.advice = prepared.Advice();
        int old = -1;
        int existing = -1;
        if (FindSaverByName(volume, prepared.Name(), existing)) {
            const SameNameChoice choice =
                questions.sameName ? questions.sameName(prepared.Name()) : SameNameChoice::Refuse;
            if (choice == SameNameChoice::Refuse) {
                report.reason = "a saver of that name is on the card";
                reports.push_back(report);
                continue;
            }
            if (choice == SameNameChoice::Replace)
                old = existing;
        }
        const SaverResult placed = ReplaceSaverByImport(prepared.DciPath(), volume, old);
        report.done = placed.Done();
        if (!report.done)
            report.reason = prepared.Named(placed.reason.empty() ? "writing to the card failed"
                                                                 : placed.reason);
        if (!placed.Refused() && !LoadVolume(volume).Loaded())
            stopped = true;
        if (questions.linkBroke && questions.linkBroke())
            stopped = true;
        reports.push_back(report);
    }
    return reports;
}

std::vector<std::string> ExistingSaverFiles(const std::vector<SaverFileName>& names,
                                            const std::string& folder, SaverFileFormat format) {
    std::vector<std::string> existing;
    for (const SaverFileName& name : names) {
        for (const std::string& path : SaverFilePaths(folder, name.stem, format)) {
            std::error_code ec;
            if (fs::exists(fs::symlink_status(path, ec)))
                existing.push_back(path);
        }
    }
    return existing;
}

std::vector<SaverFileReport> ExportSaverFiles(CardVolume& volume, const std::string& folder,
                                              SaverFileFormat format, bool replace,
                                              const SaverFileSteps& steps) {
    const std::vector<SaverFileName> names = SaverFileNames(volume, format);
    std::vector<SaverFileReport> reports;
    const int count = static_cast<int>(names.size());
    bool stopped = false;
    for (int i = 0; i < count; ++i) {
        const std::vector<std::string> paths = SaverFilePaths(folder, names[i].stem, format);
        SaverFileReport report;
        report.file = paths.back();
        report.name.assign(reinterpret_cast<const char*>(volume.Entries()[names[i].entry].Raw +
                                                         SaverEntry::kNameOffset),
                           SaverEntry::kNameLength);
        if (stopped) {
            report.reason = kNotTried;
            reports.push_back(report);
            continue;
        }
        if (steps.progress)
            steps.progress(i, count, report.file);
        report.done = ExportSaverFile(volume, names[i].entry, folder, names[i].stem, format,
                                      replace, report.reason);
        stopped = steps.linkBroke && steps.linkBroke();
        reports.push_back(report);
    }
    return reports;
}

std::vector<std::string>
SaverFileSummary(const std::vector<SaverFileReport>& reports, bool importing,
                 const std::function<std::string(const std::string&)>& showName) {
    const auto done = std::count_if(reports.begin(), reports.end(),
                                    [](const SaverFileReport& r) { return r.done; });
    std::vector<std::string> lines;
    lines.push_back((importing ? "Imported " : "Exported ") + std::to_string(done) + " of " +
                    std::to_string(reports.size()) +
                    (importing ? (reports.size() == 1 ? " file." : " files.")
                               : (reports.size() == 1 ? " saver." : " savers.")));
    for (const SaverFileReport& r : reports) {
        std::string name = r.name;
        while (!name.empty() && (name.back() == ' ' || name.back() == '\0'))
            name.pop_back();
        const std::string file = fs::path(r.file).filename().string();
        const std::string shown = name.empty() ? "" : " (" + showName(name) + ")";
        lines.push_back(r.done ? (importing ? "  imported " : "  exported ") + file + shown
                               : (importing ? "  refused  " : "  failed   ") + file + shown + ": " +
                                     r.reason);
        if (!r.advice.empty())
            lines.push_back("    " + r.advice);
    }
    return lines;
}
