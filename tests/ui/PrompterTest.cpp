#include "qtbase/Prompter.h"

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
};

QTEST_MAIN(PrompterTest)
#include "PrompterTest.moc"
