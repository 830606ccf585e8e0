#include "qtbase/Prompter.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QStringList>

QString QtFilterFromDesigned(const QString& designed) {
    const QStringList parts = designed.split('|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& raw : parts[i + 1].split(';', Qt::SkipEmptyParts)) {
            const QString pattern = raw.trimmed();
            if (pattern == "*.*" || pattern == "*") {
                patterns << "*";
                continue;
            }
            patterns << pattern;
            const QString lower = pattern.toLower();
            const QString upper = pattern.toUpper();
            if (lower != pattern)
                patterns << lower;
            if (upper != pattern && upper != lower)
                patterns << upper;
        }
        patterns.removeDuplicates();
        filters << parts[i].trimmed() + " (" + patterns.join(' ') + ")";
    }
    return filters.join(";;");
}

namespace {

QString WindowTitle() {
    const QString name = QApplication::applicationDisplayName();
    return name.isEmpty() ? QStringLiteral("Porvane") : name;
}

// "*.DCM" or ".DCM" -> "DCM"; a bare "*" or "*.*" has none.
QString SuffixOf(const QString& defaultExt) {
    QString ext = defaultExt;
    while (ext.startsWith('*') || ext.startsWith('.'))
        ext.remove(0, 1);
    return ext == "*" ? QString() : ext;
}

// The designed description of the Qt filter "DCM file format (*.DCM *.dcm)".
QString DesignedDescription(const FileDialogSetup& setup, const QString& qtFilter) {
    const QStringList parts = setup.filter.split('|');
    const QStringList shown = QtFilterFromDesigned(setup.filter).split(";;");
    for (int i = 0; i < shown.size() && 2 * i < parts.size(); ++i) {
        if (shown[i] == qtFilter)
            return parts[2 * i];
    }
    return parts.value(0);
}

QString RunFileDialog(QWidget* parent, const FileDialogSetup& setup, bool save) {
    QFileDialog dialog(parent, setup.title);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save           ? QFileDialog::AnyFile
                       : setup.folder ? QFileDialog::Directory
                                      : QFileDialog::ExistingFile);
    if (setup.folder)
        dialog.setOption(QFileDialog::ShowDirsOnly, true);
    // The native dialogs on Linux match filters case-sensitively and may ask
    // about replacing files on their own; Qt's own dialog does as told.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !setup.confirmOverwrite);
    dialog.setDirectory(setup.directory.isEmpty() ? QDir::currentPath() : setup.directory);
    if (!setup.filter.isEmpty() && !setup.folder)
        dialog.setNameFilter(QtFilterFromDesigned(setup.filter));
    const QString suffix = SuffixOf(setup.defaultExt);
    if (!suffix.isEmpty()) {
        dialog.setDefaultSuffix(suffix);
        // A name typed without an extension takes that of the chosen filter,
        // which is how a save dialog offering several formats tells them apart.
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                         [&dialog, suffix](const QString& filter) {
                             const qsizetype open = filter.lastIndexOf('(');
                             const QString first =
                                 filter.mid(open + 1).section(' ', 0, 0).remove(')');
                             const QString chosen = SuffixOf(first);
                             dialog.setDefaultSuffix(chosen.isEmpty() ? suffix : chosen);
                         });
    }
    // A wildcard initial name ("*.DCM") is a pattern, not a file to select.
    if (!setup.fileName.isEmpty() && !setup.fileName.contains('*'))
        dialog.selectFile(setup.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    if (setup.chosenFilter != nullptr)
        *setup.chosenFilter = DesignedDescription(setup, dialog.selectedNameFilter());
    return dialog.selectedFiles().first();
}

} // namespace

namespace {

// A message box showing text as it is: names of files and savers come from
// disks and cards, and must never be taken for markup.
QMessageBox::StandardButton
Show(QWidget* parent, QMessageBox::Icon icon, const QString& text,
     QMessageBox::StandardButtons buttons,
     QMessageBox::StandardButton defaultButton = QMessageBox::NoButton) {
    QMessageBox box(icon, WindowTitle(), text, buttons, parent);
    box.setTextFormat(Qt::PlainText);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

} // namespace

void QtPrompter::Info(const QString& text) {
    Show(parent_, QMessageBox::Information, text, QMessageBox::Ok);
}

void QtPrompter::Warning(const QString& text) {
    Show(parent_, QMessageBox::Warning, text, QMessageBox::Ok);
}

void QtPrompter::Error(const QString& text) {
    Show(parent_, QMessageBox::Critical, text, QMessageBox::Ok);
}

bool QtPrompter::Confirm(const QString& text) {
    return Show(parent_, QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No,
                QMessageBox::Yes) == QMessageBox::Yes;
}

Prompter::Answer QtPrompter::YesNoCancel(const QString& text) {
    switch (Show(parent_, QMessageBox::Question, text,
                 QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes)) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return Answer::Cancel;
    }
}

std::optional<QString> QtPrompter::Input(const QString& title, const QString& prompt,
                                         const QString& initial) {
    bool ok = false;
    const QString text =
        QInputDialog::getText(parent_, title, prompt, QLineEdit::Normal, initial, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

QString QtPrompter::OpenFile(const FileDialogSetup& setup) {
    return RunFileDialog(parent_, setup, false);
}

QString QtPrompter::SaveFile(const FileDialogSetup& setup) {
    return RunFileDialog(parent_, setup, true);
}
