#include "ui/dialogs/ChoiceDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

ChoiceDialog::ChoiceDialog(const QString& caption, const QString& title, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setWindowTitle(caption);
    setAccessibleName(caption);
    setModal(true);

    title_ = new QLabel(title, this);
    title_->setObjectName("Title");
    QFont big = title_->font();
    big.setPointSize(big.pointSize() * 2);
    big.setBold(true);
    title_->setFont(big);
    title_->setAlignment(Qt::AlignCenter);

    pictureLabel_ = new QLabel(this);
    pictureLabel_->setObjectName("Picture");
    pictureLabel_->setFixedSize(32, 32);
    pictureLabel_->setAccessibleName("Saver icon");
    first_ = new QLabel(this);
    first_->setObjectName("FirstLine");
    second_ = new QLabel(this);
    second_->setObjectName("SecondLine");
    decoded_ = new QLabel(this);
    decoded_->setObjectName("DecodedLine");
    decoded_->setAccessibleName("Description");
    decoded_->hide();
    for (QLabel* line : {first_, second_, decoded_})
        line->setTextFormat(Qt::PlainText);

    auto* lines = new QVBoxLayout;
    lines->addWidget(first_);
    lines->addWidget(decoded_);
    lines->addWidget(second_);
    auto* saver = new QHBoxLayout;
    saver->addWidget(pictureLabel_, 0, Qt::AlignTop);
    saver->addSpacing(8);
    saver->addLayout(lines, 1);
    buttons_ = new QHBoxLayout;

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title_);
    layout->addLayout(saver);
    layout->addStretch(1);
    layout->addLayout(buttons_);
}

QPushButton* ChoiceDialog::AddButton(const QString& caption, int code, const QString& hint,
                                     const char* objectName) {
    auto* button = new QPushButton(caption, this);
    button->setObjectName(objectName);
    button->setAccessibleName(caption);
    button->setAutoDefault(false);
    if (!hint.isEmpty()) {
        button->setToolTip(hint);
        button->setAccessibleDescription(hint);
    }
    connect(button, &QPushButton::clicked, this, [this, code] {
        code_ = code;
        accept();
    });
    buttons_->addWidget(button);
    return button;
}

int ChoiceDialog::Ask() {
    code_ = 0;
    if (RunHook)
        RunHook(*this);
    else
        exec();
    return code_;
}

void ChoiceDialog::SetPicture(const QPixmap& picture) {
    picture_ = picture;
    pictureLabel_->setPixmap(picture);
}

void ChoiceDialog::SetLines(const QString& first, const QString& second) {
    first_->setText(first);
    second_->setText(second);
    FitContents();
}

void ChoiceDialog::SetDesignedSize(const QSize& size) {
    designed_ = size;
    FitContents();
}

void ChoiceDialog::FitContents() {
    if (designed_.isEmpty())
        return;
    layout()->activate();
    setFixedSize(designed_.expandedTo(layout()->totalMinimumSize()));
}

QString ChoiceDialog::FirstLine() const {
    return first_->text();
}

QString ChoiceDialog::SecondLine() const {
    return second_->text();
}

QString ChoiceDialog::Title() const {
    return title_->text();
}

QPushButton* ChoiceDialog::Button(const QString& caption) const {
    for (QPushButton* b : findChildren<QPushButton*>())
        if (b->text() == caption)
            return b;
    return nullptr;
}

void ChoiceDialog::SetDecodedLine(const QString& text) {
    decoded_->setText(text);
    decoded_->setVisible(!text.isEmpty());
    FitContents();
}

QString ChoiceDialog::DecodedLine() const {
    return decoded_->text();
}
