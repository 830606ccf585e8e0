#include "card/DemoCards.h"

#include "card/SideFiles.h"

#include <filesystem>
#include <system_error>

// First cut: two formatted, empty cards. The demo savers follow.
bool EnsureDemoCards(const std::string& folder, std::string* error) {
    for (const char* name : {"slot1.dcm", "slot2.dcm"}) {
        const std::string path = SideFilePath(folder, name);
        std::error_code ec;
        if (std::filesystem::exists(path, ec))
            continue;
        if (!WriteImageTemplate(path)) {
            if (error != nullptr)
                *error = "cannot write " + path;
            return false;
        }
    }
    return true;
}
