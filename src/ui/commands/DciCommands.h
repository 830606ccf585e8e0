#pragma once

#include "qtbase/Prompter.h"

#include <QObject>
#include <QString>

class MainWindow;
class TempSaverFile;

// The single-saver file commands: "Export" of a saver to a ".DCI" file, and
// the import of such a file into slot 1, slot 2 or the open image.
class DciCommands : public QObject {
    Q_OBJECT
  public:
    explicit DciCommands(MainWindow& window, QObject* parent = nullptr);

    static FileDialogSetup ExportDialog();
    static FileDialogSetup ImportDialog();
    // What an import into a view that is not loaded says.
    static QString NotLoadedText(int index);

    // "Export" of directory entry `entry` of view `index`.
    void Export(int index, int entry);
    // "Import DCI file" into view `index`: asks for the file, then ImportFile.
    void Import(int index);
    // The import of one chosen file: the slot read again first, then the
    // questions about a saver of the same name.
    void ImportFile(int index, const QString& path);

  private:
    // Export to a VMS + VMI pair, path naming either file.
    void ExportPair(int index, int entry, const QString& path);
    // The single-saver file of the pair that path names, in dci; false when
    // the user was told why not, or said no to a VMS without its VMI.
    bool BuildFromPair(const QString& path, const TempSaverFile& dci);
    void ReplaceByImport(int index, const QString& path, int oldEntry);
    void ImportBeside(int index, const QString& path);

    MainWindow& window_;
};
