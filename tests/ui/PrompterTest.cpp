#include "qtbase/Prompter.h"
#include "qtbase/PlainText.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTextDocument>
#include <QTimer>
#include <functional>

#include <QtTest>

class PrompterTest : public QObject {
    Q_OBJECT
  private slots:
    // Filters of the designed form become Qt filters that match both cases.
    void FiltersMatchBothCases() {
        QCOMPARE(QtFilterFromDesigned("DCI file format|*.DCI|binary file format|*.BIN|ALL format "
                                      "|*.*"),
                 QString("DCI file format (*.DCI *.dci);;binary file format (*.BIN "
                         "*.bin);;ALL format (*)"));
        QCOMPARE(QtFilterFromDesigned("Bitmaps (*.bmp)|*.bmp"),
                 QString("Bitmaps (*.bmp) (*.bmp *.BMP)"));
    }

    // A name from a file or a card that looks like markup is shown as the
    // text it is, in every kind of box and in a tooltip; designed texts
    // keep their blanks.
    void MessageBoxesShowTextAsItIs() {
        QtPrompter p(nullptr);
        const std::function<void(const QString&)> boxes[] = {
            [&](const QString& t) { p.Info(t); }, [&](const QString& t) { p.Warning(t); },
            [&](const QString& t) { p.Error(t); }, [&](const QString& t) { p.Confirm(t); },
            [&](const QString& t) { p.YesNoCancel(t); }};
        const QString markup = "Saver <b>BOLD</b> <img src=\"/etc/passwd\"> exists";
        for (const QString& text : {markup, QString(" no card in slot 1 ")}) {
            QStringList shown;
            for (const auto& box : boxes) {
                QTimer::singleShot(0, [&] {
                    auto* shownBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                    auto* label = shownBox->findChild<QLabel*>("qt_msgbox_label");
                    if (label->textFormat() == Qt::PlainText)
                        shown << label->text();
                    QAbstractButton* yes = shownBox->button(QMessageBox::Yes);
                    (yes != nullptr ? yes : shownBox->button(QMessageBox::Ok))->click();
                });
                box(text);
            }
            QCOMPARE(shown, QStringList(5, text));
        }
        QTextDocument tip;
        tip.setHtml(PlainToolTip(markup));
        QCOMPARE(tip.toPlainText(), markup);
        QCOMPARE(PlainToolTip("A saver"), QString("A saver"));
    }
};

QTEST_MAIN(PrompterTest)
#include "PrompterTest.moc"
