#pragma once

#include <string>
#include <string_view>

// Saver names and descriptions are bytes on the card, one character each.
// Everything that shows them (the windows, the dialogs, the command line)
// shows them through this one decoding, in UTF-8: printable ASCII as it is,
// bytes from 0xA0 up as their Latin-1 characters, and every other byte
// (control codes, 0x7F to 0x9F) as a blank. Only the display changes: the
// bytes themselves are what names are compared and written by.
std::string SaverText(std::string_view bytes);
