#include "card/ScratchFile.h"

std::string ScratchNamingFeedback::Named(std::string text) const {
    const std::string& from = file_.Path();
    if (from.empty())
        return text;
    for (size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + file_.Target().size()))
        text.replace(at, from.size(), file_.Target());
    return text;
}
