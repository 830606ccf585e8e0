#pragma once

#include "qtbase/Prompter.h"

#include <QObject>
#include <QString>

class MainWindow;

// The card-image commands: open, create and close the image shown in the
// file view, save a slot or the open image as an image file, and upload an
// image file onto a slot's card.
class DcmCommands : public QObject {
    Q_OBJECT
  public:
    static constexpr long kImageBytes = 131072;

    explicit DcmCommands(MainWindow& window, QObject* parent = nullptr);

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
    // "Save as DCM file" of view index (0 slot 1, 1 slot 2, 2 the open image).
    void SaveAs(int index);
    // "Upload DCM file" to slot index (0 or 1).
    void Upload(int index);
    // The question before an upload replaces a card holding savers.
    static QString UploadQuestion(int index, const QString& path, int savers);

  private:
    // Whether the chosen image file may be used; tells the user why not.
    bool CheckImageFile(const QString& path);
    void ShowImage(const QString& path);
    // The window title names the open image and its byte order.
    void ShowImageTitle();
    void SaveImageAs(const QString& path);
    void SaveSlotAs(int index, const QString& path);

    MainWindow& window_;
};
