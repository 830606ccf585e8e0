#include "tools/icon/qt/LogoImport.h"

#include "base/SafeFile.h"
#include "card/DciFile.h"
#include "card/IconBmp.h"
#include "qtbase/Centre.h"
#include "qtbase/Prompter.h"
#include "tools/icon/LogoPicture.h"
#include "tools/icon/qt/LcdColourDialog.h"

#include <QDir>
#include <QWidget>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <system_error>

LogoImport::LogoImport(Prompter& prompter, LcdColourDialog& dialog)
    : prompter_(prompter), dialog_(dialog) {}

QString LogoImport::WorkFile() const {
    return QDir(startDir_.isEmpty() ? QDir::currentPath() : startDir_).filePath("~ico._");
}

bool LogoImport::Run(CardVolume& target) {
    FileDialogSetup setup;
    setup.title = "Open";
    setup.filter = "Bitmaps (*.bmp)|*.bmp";
    setup.fileName = "*.BMP";
    const QString file = prompter_.OpenFile(setup);
    if (file.isEmpty())
        return false;

    // The picture area, the source of the colour picture. It is filled before
    // anything is shown, so a picture that cannot be read is refused like one
    // of the wrong size, and no logo is ever built from an unfilled area.
    auto picture = std::make_unique<uint8_t[]>(IconArea::kSize);
    // A FIFO would hang the window in the read: only regular files are opened.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file.toStdString(), ec)) {
        prompter_.Warning(kLogoPictureWarning);
        return false;
    }
    if (!ReadLogoPicture(picture.get(), file.toStdString())) {
        prompter_.Warning(QString::fromStdString(LogoPictureRefusal(file.toStdString())));
        return false;
    }

    if (showWait_)
        showWait_();
    dialog_.SetStartDir(startDir_.isEmpty() ? QDir::currentPath() : startDir_);
    dialog_.Prepare(picture.get(), file);
    if (mainWindow_ != nullptr) {
        dialog_.adjustSize();
        dialog_.move(CentredOver(mainWindow_->frameGeometry(), dialog_.frameSize()));
    }
    // However the dialog is closed, the logo is built from what it shows.
    dialog_.exec();

    const QString workFile = WorkFile();
    // The card gets only the file written now: a failed write must not let an
    // older "~ico._" (another saver, from the code window) reach it. A link
    // under the name stays, and the write refuses it.
    RemoveScratchFile(workFile.toStdString());
    const std::string name = dialog_.IconName().toLatin1().toStdString();
    errno = 0;
    if (!BuildLogoDci(picture.get(), dialog_.LcdArea(), name, workFile.toStdString())) {
        const int error = errno;
        if (hideWait_)
            hideWait_();
        prompter_.Warning(
            "Cannot write " + workFile + "." +
            (error != 0 ? " " + QString::fromStdString(FileErrorText(error)) : QString()));
        return false;
    }
    const auto import = [&] { return ImportDci(workFile.toStdString(), target); };
    const bool imported = importAround_ ? importAround_(import) : import();
    if (hideWait_)
        hideWait_();
    return imported;
}
