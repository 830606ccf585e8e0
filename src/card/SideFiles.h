#pragma once

#include <cstdint>
#include <string>

class CardFeedback;
class CardVolume;

// The files the program keeps beside itself in StartDir and can always make
// again: the template of new card images and the picture shown for savers
// without icons.

inline constexpr const char* kTemplateFileName = "dpnw.dc";
inline constexpr const char* kNoIconFileName = "NA.bmp";
inline constexpr uint8_t kTemplateUserBlocks = 200;

// folder joined with name (folder may end in "/" or be empty).
std::string SideFilePath(const std::string& folder, const std::string& name);

// Opens volume as a card image held in memory: image (131072 bytes, card
// order) is read and written in place. Cards built for a file are built
// there and written whole, so that nothing reopens the file by its name.
bool OpenMemoryImage(CardVolume& volume, uint8_t* image);
// A blank card (all 0xFF) formatted by FormatVolume with 200 user blocks,
// into image (131072 bytes, card order).
bool FormatBlankImage(uint8_t* image);

// Writes the new-image template to path: FormatBlankImage in card-image
// layout. The file appears whole or not at all; a symbolic link under the
// name is not replaced.
bool WriteImageTemplate(const std::string& path);

// The picture for savers without icons, laid out as an IconArea
// (IconArea::kSize bytes).
void DrawNoIconPicture(uint8_t* area);
// Writes that picture as a 32 x 32, 8-bit bitmap file.
bool WriteNoIconPicture(const std::string& path);

// Writes "dpnw.dc" and "NA.bmp" into folder when either is missing, so that a
// refresh or a new image never fails for want of them. True when both exist
// afterwards.
bool EnsureSideFiles(const std::string& folder);

// Creates a new card image at path from the first 131072 bytes of the template
// in folder (written first when missing). A template that cannot be read, or a
// target that cannot be written, is told as a warning with the system's
// reason; a template shorter than an image as "FILE : " + template + " IS
// INVAILD! ". ui may be null. True when the image was written.
bool CreateImageFromTemplate(const std::string& folder, const std::string& path, CardFeedback* ui);
