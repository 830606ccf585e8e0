#pragma once

#include <QString>
#include <QTextDocument>

// A tooltip of text from a file or a card (a saver's name or description),
// shown as the text it is: Qt takes a tooltip that looks like markup for
// markup, so such a text goes as escaped markup of itself. Every other text
// goes as it is.
inline QString PlainToolTip(const QString& text) {
    return Qt::mightBeRichText(text) ? Qt::convertFromPlainText(text, Qt::WhiteSpacePre) : text;
}
