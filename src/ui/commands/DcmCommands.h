#pragma once

#include "card/CardImageOrder.h"
#include "card/CardPlace.h"
#include "qtbase/Prompter.h"

#include <QObject>
#include <QString>

class CardJob;
class CardSession;
class CommandContext;

// The card-image commands: open, create and close the image shown in the
// file view, save a slot or the open image as an image file, and upload an
// image file onto a slot's card.
class DcmCommands : public QObject {
    Q_OBJECT
  public:
    explicit DcmCommands(CommandContext& ui, QObject* parent = nullptr);

    // The entry added after the designed ones of both image dialogs: raw card
    // dumps in natural order, as emulators keep them.
    static constexpr const char* kDumpDescription = "Card dump (emulators)";
    static constexpr const char* kDumpFilter = "Card dump (emulators)|*.vmu;*.bin";

    // The open dialog (open and upload) and the save dialog (new and save as).
    static FileDialogSetup OpenDialog(const QString& title);
    static FileDialogSetup SaveDialog(const QString& title);
    static QString NotSupportedText(const QString& path);

    // "Open DCM File": asks for a file, then OpenFile.
    void Open();
    // Opens path in the file view, after its checks; true when it is open.
    bool OpenFile(const QString& path);
    // "New DCM File" from the template "dpnw.dc".
    void New();
    // "Close DCM File".
    void Close();
    // "Save as DCM file" of a view's card.
    void SaveAs(CardPlace view);
    // "Upload DCM file" to a slot.
    void Upload(CardPlace slot);
    // The question before an upload replaces a card holding savers.
    static QString UploadQuestion(CardPlace slot, const QString& path, int savers);

  private:
    // Whether the chosen image file may be used; tells the user why not.
    bool CheckImageFile(const QString& path);
    void ShowImage(const QString& path);
    // A new image from the template "dpnw.dc"; false when the user was told
    // why not.
    bool CreateImage(const QString& path);
    // The file column's header names the open image and its byte order in
    // its tool tip; the window's caption stays the program's.
    void ShowImageName();
    void SaveImageAs(const QString& path, ImageOrder order);
    void SaveSlotAs(CardPlace slot, const QString& path, ImageOrder order, CardJob& job);
    CardSession& Session();

    CommandContext& ui_;
};
