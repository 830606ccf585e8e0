#pragma once

#include "card/CardPlace.h"
#include "card/SaverFiles.h"
#include "qtbase/Prompter.h"

#include <QObject>
#include <QString>
#include <functional>
#include <string>
#include <vector>

class CardSession;
class CommandContext;

// "Export all savers..." and "Import folder..." of the three pop-up menus:
// every saver of a card into a folder (single-saver files, or VMS + VMI
// pairs when Setup says so), and every save file of a folder onto a card,
// with the wait window up, the saver being worked on named on the status
// line, and a summary at the end.
class FolderCommands : public QObject {
    Q_OBJECT
  public:
    explicit FolderCommands(CommandContext& ui, QObject* parent = nullptr);

    static FileDialogSetup FolderDialog(const QString& title);
    // The question before files that exist are replaced.
    static QString ReplaceQuestion(const QString& folder, const std::vector<std::string>& files);

    void ExportAll(CardPlace view);
    void ImportFolder(CardPlace view);
    // The import of the save files of folder into a view's card.
    void ImportFolderPath(CardPlace view, const QString& folder);

  private:
    // The import of the folder choose names, after the checks.
    void ImportChosen(CardPlace view, const std::function<bool(QString&)>& choose);
    // The questions an import of many files asks, as a single import does.
    SaverFileQuestions Questions(CardPlace view);
    void ShowSummary(const std::vector<SaverFileReport>& reports, bool importing);
    // "      Exporting 3 of 12" on the status line, painted at once.
    void ShowStep(const char* doing, int index, int count);
    CardSession& Session();

    CommandContext& ui_;
};
