#pragma once

#include "ui/common/Prompter.h"

#include <QObject>
#include <QString>

class MainWindow;

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
    void ReplaceByImport(int index, const QString& path, int oldEntry);
    void ImportBeside(int index, const QString& path);

    MainWindow& window_;
};
