#include "qtbase/Prompter.h"
#include "qtbase/PlainText.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTextDocument>
#include <QTimer>

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
    // text it is, in every kind of box; designed texts keep their blanks.
    // Tooltips of such names likewise.
    void MessageBoxesShowTextAsItIs() {
        QtPrompter prompter(nullptr);
        const QString names[] = {"Saver <b>BOLD</b> <img src=\"/etc/passwd\"> exists",
                                 " no card in slot 1 "};
        for (const QString& text : names) {
            QStringList shown;
            const auto read = [&] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                QVERIFY(box != nullptr);
                auto* label = box->findChild<QLabel*>("qt_msgbox_label");
                QVERIFY(label != nullptr);
                if (box->textFormat() == Qt::PlainText && label->textFormat() == Qt::PlainText)
                    shown << label->text();
                box->defaultButton() != nullptr ? box->defaultButton()->click() : box->accept();
            };
            for (int kind = 0; kind < 5; ++kind) {
                QTimer::singleShot(0, read);
                switch (kind) {
                case 0:
                    prompter.Info(text);
                    break;
                case 1:
                    prompter.Warning(text);
                    break;
                case 2:
                    prompter.Error(text);
                    break;
                case 3:
                    QVERIFY(prompter.Confirm(text));
                    break;
                default:
                    QVERIFY(prompter.YesNoCancel(text) == Prompter::Answer::Yes);
                    break;
                }
            }
            QCOMPARE(shown, QStringList(5, text));
        }
        QTextDocument tip;
        tip.setHtml(PlainToolTip(names[0]));
        QCOMPARE(tip.toPlainText(), names[0]);
        QCOMPARE(PlainToolTip("A saver's description"), QString("A saver's description"));
    }
};

QTEST_MAIN(PrompterTest)
#include "PrompterTest.moc"
