#pragma once

#include "card/CardPlace.h"
#include "qtbase/Prompter.h"

#include <QObject>
#include <QString>
#include <functional>
#include <string>

class CardJob;
class CardSession;
class CommandContext;
class PreparedSaverFile;

// The single-saver file commands: "Export" of a saver to a ".DCI" file, and
// the import of such a file into slot 1, slot 2 or the open image.
class DciCommands : public QObject {
    Q_OBJECT
  public:
    explicit DciCommands(CommandContext& ui, QObject* parent = nullptr);

    static FileDialogSetup ExportDialog();
    static FileDialogSetup ImportDialog();
    // What an import into a view that is not loaded says.
    static QString NotLoadedText(CardPlace view);
    // The question before a VMS without a VMI comes in: Yes a game, No data.
    static QString LoneVmsQuestion(const QString& path);

    // "Export" of directory entry `entry` of a view's card.
    void Export(CardPlace view, int entry);
    // "Import DCI file" into a view's card: asks for the file, then ImportFile.
    void Import(CardPlace view);
    // The import of one chosen file: the slot read again first, then the
    // questions about a saver of the same name.
    void ImportFile(CardPlace view, const QString& path);

  private:
    // Both files of an export to a VMS + VMI pair, and the resource name.
    struct ExportPairNames {
        QString vms;
        QString vmi;
        std::string resource;
    };
    // The questions of an export to a pair, path naming either file.
    bool AskPair(const QString& path, ExportPairNames& pair);
    void WriteDci(CardPlace view, int entry, const QString& path, CardJob& job);
    void WritePair(CardPlace view, int entry, const ExportPairNames& pair, CardJob& job);
    // The import of the file choose names: the checks and questions first,
    // then the slot read again, then the questions about a saver of the
    // same name.
    void ImportChosen(CardPlace view, const std::function<bool(QString&)>& choose);
    // Whether the file at path can be imported; dci is the single-saver file
    // to place (the one a VMS or VMI makes).
    bool ReadyToImport(const QString& path, PreparedSaverFile& prepared, QString& dci);
    // The single-saver file of the VMS or VMI at path, asking whether a VMS
    // without its VMI is a game; false when the user was told why not, or
    // cancelled.
    bool PrepareFile(const QString& path, PreparedSaverFile& prepared);
    void ReplaceByImport(CardPlace view, const QString& path, int oldEntry, CardJob& job);
    void ImportBeside(CardPlace view, const QString& path, CardJob& job);
    CardSession& Session();

    CommandContext& ui_;
};
