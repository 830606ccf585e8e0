#pragma once

#include "tools/hexedit/HexDocument.h"
#include "tools/hexedit/Translation.h"

#include <QFont>
#include <QImage>
#include <QRect>
#include <QSizeF>
#include <QString>

class QPainter;
class QPrinter;

// Draws the data as printed pages: a title and a page text at the top, then
// lines of 16 bytes with offset, the bytes in hex, decimal or octal, and
// their characters. The same drawing serves the printer and the preview.
class HexPrinter {
  public:
    explicit HexPrinter(const HexDocument& document) : document_(document) {}

    // 0 hex, 1 decimal, 2 octal.
    void SetMemFieldDisplay(int display) { memFieldDisplay_ = display; }
    void SetTranslation(Translation translation) { translation_ = translation; }

    // The part of a page inside its margins, a twentieth of the page on
    // every side.
    static QRect Margins(const QSize& page);
    // One line of the page as text (offset, bytes, characters).
    QString LineText(int64_t offset) const;
    static constexpr int kBytesPerLine = 16;

    // Draws from start inside area and returns the position after the last
    // byte drawn (the data size once everything is on paper). The font is
    // not stretched to the page: 9 points at the device's resolution.
    int64_t DrawPage(QPainter& painter, const QRect& area, int64_t start, const QString& pageText,
                     const QString& title) const;
    // Every page on the printer; false when the printer can't be started.
    bool PrintAll(QPrinter& printer, const QString& title) const;
    // The first page as a white picture 1000 pixels wide, as tall as the
    // page's proportions ask; pageSize in points.
    QImage PreviewPage(const QSizeF& pageSize, const QString& title) const;

  private:
    const HexDocument& document_;
    int memFieldDisplay_ = 0;
    Translation translation_ = Translation::Ansi;
};
