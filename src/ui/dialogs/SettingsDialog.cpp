#include "ui/dialogs/SettingsDialog.h"

#include "base/ParseHex.h"
#include "qtbase/Centre.h"

#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QFont>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>
#include <QValidator>

#include <algorithm>
#include <cstdint>
#include <limits>

namespace {

constexpr uint16_t kLpt1Port = 888;
constexpr uint16_t kLpt2Port = 632;
constexpr int kBarStep = 128;
constexpr int kBarDesignMaximum = 5376;

const char* const kBaseReplacement = "378";
const char* const kShortReplacement = "00000014";
const char* const kLongReplacement = "00000100";
const char* const kLongestReplacement = "00000600";

// The hexadecimal edits take what is typed in upper case, as the numbers are
// shown; whether the text is a number is checked after every change.
class UpperCaseValidator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        input = input.toUpper();
        return Acceptable;
    }
};

// value in upper-case hexadecimal, at least `digits` digits; negative counts
// show as their 32-bit pattern.
QString Hex(int64_t value, qsizetype digits) {
    return QString::number(static_cast<uint32_t>(value), 16).toUpper().rightJustified(digits, '0');
}

template <typename Widget> Widget* Named(Widget* widget, const char* objectName) {
    widget->setObjectName(QString::fromLatin1(objectName));
    return widget;
}

// Accessible name for screen readers and, where given, the hint as both the
// tool tip and the accessible description.
void Describe(QWidget* widget, const QString& name, const QString& hint = QString()) {
    widget->setAccessibleName(name);
    if (!hint.isEmpty()) {
        widget->setToolTip(hint);
        widget->setAccessibleDescription(hint);
    }
}

QLabel* Label(const QString& text, const char* objectName) {
    QLabel* label = Named(new QLabel(text), objectName);
    label->setAccessibleName(text);
    return label;
}

QLineEdit* HexEdit(const char* objectName, int maxLength = 32767) {
    QLineEdit* edit = Named(new QLineEdit, objectName);
    edit->setValidator(new UpperCaseValidator(edit));
    edit->setMaxLength(maxLength);
    return edit;
}

} // namespace

SettingsDialog::SettingsDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Option");
    setAccessibleName("Option");
    BuildControls();
    BuildContextMenu();
    ConnectControls();
}

void SettingsDialog::BuildControls() {
    auto* top = new QHBoxLayout;
    top->addWidget(BuildPortGroup());
    top->addWidget(BuildDragDropGroup());

    okButton_ = Named(new QPushButton("OK"), "okButton");
    Describe(okButton_, "OK");
    okButton_->setDefault(true);
    exitButton_ = Named(new QPushButton("EXIT"), "exitButton");
    Describe(exitButton_, "EXIT");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton_);
    buttons->addWidget(exitButton_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(BuildSpeedArea());
    layout->addWidget(BuildDelayEditor());
    layout->addWidget(BuildAutoRefreshGroup());
    layout->addLayout(buttons);
    // The dialog fits its controls, and grows when the delay editor opens.
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QWidget* SettingsDialog::BuildPortGroup() {
    auto* group = Named(new QGroupBox("Parallel Port Select"), "portGroup");
    Describe(group, "Parallel Port Select", "Choose the parallel port address you're using");
    lpt1Radio_ = Named(new QRadioButton("LPT1"), "lpt1Radio");
    Describe(lpt1Radio_, "LPT1");
    lpt2Radio_ = Named(new QRadioButton("LPT2"), "lpt2Radio");
    Describe(lpt2Radio_, "LPT2");
    customPortRadio_ = Named(new QRadioButton("Custom"), "customPortRadio");
    Describe(customPortRadio_, "Custom");
    auto* prefix = Label("0x", "hexPrefixLabel");
    baseEdit_ = HexEdit("baseEdit", 8);
    baseEdit_->setText(kBaseReplacement);
    Describe(baseEdit_, "Custom port address, hexadecimal");
    prefix->setBuddy(baseEdit_);

    auto* custom = new QHBoxLayout;
    custom->addWidget(prefix);
    custom->addWidget(baseEdit_);
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(lpt1Radio_);
    layout->addWidget(lpt2Radio_);
    layout->addWidget(customPortRadio_);
    layout->addLayout(custom);
    return group;
}

QWidget* SettingsDialog::BuildDragDropGroup() {
    auto* group = Named(new QGroupBox("Drag and Drop"), "dragDropGroup");
    Describe(group, "Drag and Drop", "Function for Drag and Drop the Saver");
    copyRadio_ = Named(new QRadioButton("Copy Saver"), "copyRadio");
    Describe(copyRadio_, "Copy Saver");
    moveRadio_ = Named(new QRadioButton("Move Saver"), "moveRadio");
    Describe(moveRadio_, "Move Saver");
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(copyRadio_);
    layout->addWidget(moveRadio_);
    layout->addStretch();
    return group;
}

QWidget* SettingsDialog::BuildSpeedArea() {
    auto* area = Named(new QFrame, "speedArea");
    area->setFrameShape(QFrame::StyledPanel);
    area->setAccessibleName("Connection Speed");

    auto* heading = Label("Connection Speed", "speedHeading");
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    Describe(heading, "Connection Speed",
             "There are  3 blanks to enter the delay time :\n1 st Blank : Short delay\n"
             "2 rd Blank : Long delay\n3 th Blank : Longest delay");
    auto* explanation =
        Label("Set the control bar to assign the compatible and speed ratio.", "speedExplanation");
    explanation->setWordWrap(true);
    auto* warning =
        Label("The program will not work property if the speed is too hgh !", "speedWarning");
    QPalette red = warning->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    warning->setPalette(red);

    delayBar_ = Named(new QSlider(Qt::Horizontal), "delayBar");
    delayBar_->setRange(0, kBarDesignMaximum);
    delayBar_->setSingleStep(kBarStep);
    delayBar_->setPageStep(8 * kBarStep);
    delayBar_->setMinimumWidth(260);
    Describe(delayBar_, "Speed bar",
             "Left: more speed, right: more compatible. The long delay count of the link.");
    auto* bar = new QHBoxLayout;
    bar->addWidget(Label("More Speed", "moreSpeedLabel"));
    bar->addWidget(delayBar_, 1);
    bar->addWidget(Label("More Compatible", "moreCompatibleLabel"));

    scaleMiddleLabel_ = Label(QString(), "scaleMiddleLabel");
    scaleEndLabel_ = Label(QString(), "scaleEndLabel");
    auto* scale = new QHBoxLayout;
    scale->addWidget(Label("0", "scaleStartLabel"));
    scale->addStretch();
    scale->addWidget(scaleMiddleLabel_);
    scale->addStretch();
    scale->addWidget(scaleEndLabel_);

    speedMarkLabel_ = Label("Speed mark: 0000", "speedMarkLabel");
    auto* mark = new QHBoxLayout;
    mark->addWidget(speedMarkLabel_);
    mark->addWidget(Label("(0 is the fastest)", "fastestNoteLabel"));
    mark->addStretch();

    // The counts the bar derived, for trying out a link (Ctrl+Alt+T).
    shortCountLabel_ = Label("00000000", "shortCountLabel");
    longCountLabel_ = Label("00000000", "longCountLabel");
    longestCountLabel_ = Label("00000000", "longestCountLabel");
    auto* counts = new QHBoxLayout;
    for (QLabel* label : {shortCountLabel_, longCountLabel_, longestCountLabel_}) {
        label->hide();
        counts->addWidget(label);
    }
    counts->addStretch();

    verifyBox_ = Named(new QCheckBox("Verify transfers"), "verifyBox");
    Describe(verifyBox_, "Verify transfers",
             "Every block is read twice, and every written block is read back, so that a "
             "garbled transfer is caught. Safer on a poor connection, but slower.");
    historyBox_ = Named(new QCheckBox("Keep a history of card changes"), "historyBox");
    Describe(historyBox_, "Keep a history of card changes",
             "Before a card is changed, its table and directory are kept in the journal folder, "
             "so that the change can be undone and deleted savers recovered.");
    pairsBox_ = Named(new QCheckBox("Savers out as VMS + VMI pairs"), "pairsBox");
    Describe(pairsBox_, "Savers out as VMS + VMI pairs",
             "Savers dragged out to a file manager, and \"Export all savers...\", are written as "
             "VMS + VMI pairs, as web archives keep them, instead of DCI files.");

    findSpeedButton_ = Named(new QPushButton("Find speed"), "findSpeedButton");
    Describe(findSpeedButton_, "Find speed",
             "Reads the card in the box again and again while lowering the delays, never "
             "writing, and puts the fastest setting that reads right, with a margin, on the "
             "bar. OK keeps it, EXIT drops it.");
    findSpeedButton_->setAutoDefault(false);
    findSpeedButton_->setEnabled(false);
    speedResultLabel_ = Label(QString(), "speedResultLabel");
    speedResultLabel_->setWordWrap(true);
    speedResultLabel_->hide();

    auto* layout = new QVBoxLayout(area);
    layout->addWidget(heading);
    layout->addWidget(explanation);
    layout->addWidget(warning);
    layout->addLayout(bar);
    layout->addLayout(scale);
    layout->addLayout(mark);
    layout->addLayout(counts);
    layout->addWidget(verifyBox_);
    layout->addWidget(historyBox_);
    layout->addWidget(pairsBox_);
    layout->addWidget(findSpeedButton_, 0, Qt::AlignLeft);
    layout->addWidget(speedResultLabel_);
    return area;
}

QWidget* SettingsDialog::BuildDelayEditor() {
    delayEditor_ = Named(new QFrame, "delayEditor");
    delayEditor_->setFrameShape(QFrame::StyledPanel);
    delayEditor_->setAccessibleName("Edit Delay Time");
    shortDelayEdit_ = HexEdit("shortDelayEdit", 8);
    longDelayEdit_ = HexEdit("longDelayEdit");
    longestDelayEdit_ = HexEdit("longestDelayEdit");
    barMaxEdit_ = HexEdit("barMaxEdit");
    auto* done = Named(new QPushButton("OK"), "delayEditorOkButton");
    Describe(done, "OK", "Close the delay editor");
    done->setAutoDefault(false);
    connect(done, &QPushButton::clicked, this, &SettingsDialog::DelayEditorDone);

    auto* layout = new QGridLayout(delayEditor_);
    const struct {
        const char* caption;
        const char* objectName;
        QLineEdit* edit;
    } rows[] = {{"Short :", "shortEditLabel", shortDelayEdit_},
                {"Long :", "longEditLabel", longDelayEdit_},
                {"Longest :", "longestEditLabel", longestDelayEdit_},
                {"Bar Max :", "barMaxEditLabel", barMaxEdit_}};
    int row = 0;
    for (const auto& r : rows) {
        QLabel* label = Label(r.caption, r.objectName);
        label->setBuddy(r.edit);
        Describe(r.edit, r.caption);
        layout->addWidget(label, row, 0);
        layout->addWidget(r.edit, row, 1);
        ++row;
    }
    layout->addWidget(done, row, 1, Qt::AlignRight);
    delayEditor_->hide();
    return delayEditor_;
}

QWidget* SettingsDialog::BuildAutoRefreshGroup() {
    auto* group = Named(new QGroupBox("Auto Refresh Mode"), "autoRefreshGroup");
    Describe(group, "Auto Refresh Mode",
             "Use this function,\nMemory card will disappear cyclically in the DC memory card "
             "manager screen.");
    autoRefreshBox_ = Named(new QCheckBox("Activate"), "autoRefreshBox");
    Describe(autoRefreshBox_, "Activate");
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(autoRefreshBox_);
    return group;
}

void SettingsDialog::BuildContextMenu() {
    contextMenu_ = Named(new QMenu(this), "contextMenu");
    contextMenu_->setAccessibleName("Option menu");
    editDelayTimeAction_ = contextMenu_->addAction("Edit Delay Time");
    editDelayTimeAction_->setObjectName("editDelayTimeAction");
    editDelayTimeAction_->setShortcut(QKeySequence("Ctrl+Alt+E"));
    // Kept out of the menu; a hidden action's own shortcut is dead, so the
    // key is served by a shortcut of the dialog below.
    editDelayTimeAction_->setVisible(false);
    toggleTestAction_ = contextMenu_->addAction("Toggle Test");
    toggleTestAction_->setObjectName("toggleTestAction");
    toggleTestAction_->setShortcut(QKeySequence("Ctrl+Alt+T"));
    toggleTestAction_->setShortcutContext(Qt::WindowShortcut);
    addAction(toggleTestAction_);
    connect(editDelayTimeAction_, &QAction::triggered, this, &SettingsDialog::ShowDelayEditor);
    connect(toggleTestAction_, &QAction::triggered, this, &SettingsDialog::ToggleTestLabels);

    auto* editShortcut = new QShortcut(QKeySequence("Ctrl+Alt+E"), this);
    editShortcut->setObjectName("editDelayTimeShortcut");
    editShortcut->setContext(Qt::WindowShortcut);
    connect(editShortcut, &QShortcut::activated, this, &SettingsDialog::ShowDelayEditor);
}

void SettingsDialog::ConnectControls() {
    connect(delayBar_, &QSlider::valueChanged, this, &SettingsDialog::DelayBarChanged);
    connect(baseEdit_, &QLineEdit::textChanged, this, &SettingsDialog::BaseEditChanged);
    connect(shortDelayEdit_, &QLineEdit::textChanged, this, &SettingsDialog::ShortDelayEditChanged);
    connect(longDelayEdit_, &QLineEdit::textChanged, this, &SettingsDialog::LongDelayEditChanged);
    connect(longestDelayEdit_, &QLineEdit::textChanged, this,
            &SettingsDialog::LongestDelayEditChanged);
    connect(barMaxEdit_, &QLineEdit::textChanged, this, &SettingsDialog::BarMaxEditChanged);
    connect(copyRadio_, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            working_.DragMode = 0;
    });
    connect(moveRadio_, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            working_.DragMode = 1;
    });
    connect(autoRefreshBox_, &QCheckBox::toggled, this,
            [this](bool on) { working_.AutoRefresh = on ? 1 : 0; });
    connect(verifyBox_, &QCheckBox::toggled, this,
            [this](bool on) { working_.VerifyTransfers = on ? 1 : 0; });
    connect(historyBox_, &QCheckBox::toggled, this,
            [this](bool on) { working_.KeepHistory = on ? 1 : 0; });
    connect(pairsBox_, &QCheckBox::toggled, this,
            [this](bool on) { working_.SaverFilesAsPairs = on ? 1 : 0; });
    connect(findSpeedButton_, &QPushButton::clicked, this, &SettingsDialog::FindSpeedClicked);
    connect(okButton_, &QPushButton::clicked, this, &SettingsDialog::AcceptClicked);
    connect(exitButton_, &QPushButton::clicked, this, &SettingsDialog::ExitClicked);
}

void SettingsDialog::SetSpeedFinder(SpeedFinder finder) {
    speedFinder_ = std::move(finder);
    findSpeedButton_->setEnabled(static_cast<bool>(speedFinder_));
}

bool SettingsDialog::Run(Settings& settings, QWidget* over) {
    working_ = settings;
    // Each visit starts without the last search's outcome.
    speedResultLabel_->clear();
    speedResultLabel_->hide();
    LoadControls(true);
    adjustSize();
    QWidget* anchor = over != nullptr ? over : parentWidget();
    if (anchor != nullptr)
        move(CentredOver(anchor->frameGeometry(), frameSize()));
    // The close box and Escape reject like EXIT: only OK accepts.
    if (exec() != QDialog::Accepted)
        return false;
    settings = working_;
    return true;
}

bool SettingsDialog::ActivateChecked() const {
    return autoRefreshBox_->isChecked();
}

void SettingsDialog::contextMenuEvent(QContextMenuEvent* event) {
    contextMenu_->popup(event->globalPos());
    event->accept();
}

void SettingsDialog::LoadControls(bool deriveFromBar) {
    customPortRadio_->setText("Custom");
    customPortRadio_->setAccessibleName("Custom");
    if (working_.BasePort == kLpt1Port)
        lpt1Radio_->setChecked(true);
    else if (working_.BasePort == kLpt2Port)
        lpt2Radio_->setChecked(true);
    else
        ShowCustomPort(working_.BasePort);
    (working_.DragMode != 0 ? moveRadio_ : copyRadio_)->setChecked(true);
    autoRefreshBox_->setChecked(working_.AutoRefresh == 1);
    verifyBox_->setChecked(working_.VerifyTransfers != 0);
    historyBox_->setChecked(working_.KeepHistory != 0);
    pairsBox_->setChecked(working_.SaverFilesAsPairs != 0);

    // Copies first: each edit's change handler writes back into working_.
    const Settings counts = working_;
    shortDelayEdit_->setText(Hex(counts.ShortDelay, 8));
    longDelayEdit_->setText(Hex(counts.LongDelay, 8));
    longestDelayEdit_->setText(Hex(counts.LongestDelay, 8));
    barMaxEdit_->setText(Hex(counts.BarMax, 8));

    {
        const QSignalBlocker quiet(delayBar_);
        delayBar_->setMaximum(std::max(working_.BarMax, 0));
    }
    ShowScale();
    if (deriveFromBar) {
        delayBar_->setValue(working_.LongDelay);
    } else {
        // Counts typed into the delay editor stay as typed.
        const QSignalBlocker quiet(delayBar_);
        delayBar_->setValue(working_.LongDelay);
    }
    ShowSpeedMark();
}

void SettingsDialog::ShowCustomPort(uint16_t port) {
    const QString caption = "I/O " + Hex(port, 3);
    customPortRadio_->setText(caption);
    customPortRadio_->setAccessibleName(caption);
    customPortRadio_->setChecked(true);
}

void SettingsDialog::ShowScale() {
    scaleMiddleLabel_->setText(Hex(working_.BarMax / 2, 4));
    scaleMiddleLabel_->setAccessibleName(scaleMiddleLabel_->text());
    scaleEndLabel_->setText(Hex(working_.BarMax, 4));
    scaleEndLabel_->setAccessibleName(scaleEndLabel_->text());
}

void SettingsDialog::ShowSpeedMark() {
    speedMarkLabel_->setText("Speed mark: " + Hex(working_.LongDelay, 4));
    speedMarkLabel_->setAccessibleName(speedMarkLabel_->text());
}

void SettingsDialog::DelayBarChanged(int value) {
    const int64_t longest = static_cast<int64_t>(value) * 3 / 2;
    working_.ShortDelay = value / 16;
    working_.LongDelay = value;
    working_.LongestDelay =
        static_cast<int32_t>(std::min<int64_t>(longest, std::numeric_limits<int32_t>::max()));
    const Settings counts = working_;
    const struct {
        QLabel* label;
        QLineEdit* edit;
        int32_t count;
    } shown[] = {{shortCountLabel_, shortDelayEdit_, counts.ShortDelay},
                 {longCountLabel_, longDelayEdit_, counts.LongDelay},
                 {longestCountLabel_, longestDelayEdit_, counts.LongestDelay}};
    for (const auto& s : shown) {
        s.label->setText(Hex(s.count, 8));
        s.label->setAccessibleName(s.label->text());
        s.edit->setText(Hex(s.count, 8));
    }
    ShowSpeedMark();
}

int32_t SettingsDialog::ValidatedValue(QLineEdit* edit, const QString& replacement) {
    const QString text = edit->text();
    const int32_t value = ParseHex(text.toStdString());
    if (Hex(value, text.size()) == text.toUpper())
        return value;
    // Never keep an entry that is not a number: the edit's handler runs again
    // on the replacement.
    edit->setText(replacement);
    return ParseHex(replacement.toStdString());
}

void SettingsDialog::BaseEditChanged() {
    working_.BasePort = static_cast<uint16_t>(ValidatedValue(baseEdit_, kBaseReplacement));
    ShowCustomPort(working_.BasePort);
}

void SettingsDialog::ShortDelayEditChanged() {
    working_.ShortDelay = ValidatedValue(shortDelayEdit_, kShortReplacement);
}

void SettingsDialog::LongDelayEditChanged() {
    working_.LongDelay = ValidatedValue(longDelayEdit_, kLongReplacement);
}

void SettingsDialog::LongestDelayEditChanged() {
    working_.LongestDelay = ValidatedValue(longestDelayEdit_, kLongestReplacement);
}

void SettingsDialog::BarMaxEditChanged() {
    working_.BarMax = ValidatedValue(barMaxEdit_, Hex(working_.BarMax, 8));
    // A maximum below the bar's value pulls the bar back, and the counts,
    // the speed mark and the file follow it as for any move of the bar.
    delayBar_->setMaximum(std::max(working_.BarMax, 0));
    ShowScale();
}

void SettingsDialog::AcceptClicked() {
    if (lpt1Radio_->isChecked())
        working_.BasePort = kLpt1Port;
    else if (lpt2Radio_->isChecked())
        working_.BasePort = kLpt2Port;
    accept();
}

void SettingsDialog::ExitClicked() {
    reject();
}

void SettingsDialog::ShowDelayEditor() {
    delayEditor_->show();
    LoadControls(false);
    shortDelayEdit_->setFocus();
}

void SettingsDialog::DelayEditorDone() {
    delayEditor_->hide();
    LoadControls(false);
    okButton_->setFocus();
}

void SettingsDialog::FindSpeedClicked() {
    if (!speedFinder_)
        return;
    const SpeedResult result = speedFinder_(working_);
    const QString report =
        QString::fromStdString(SpeedReport(result, working_.VerifyTransfers != 0));
    speedResultLabel_->setText(report);
    speedResultLabel_->setAccessibleName(report);
    speedResultLabel_->show();
    if (!result.Found())
        return;
    delayBar_->setValue(result.bar);
    // Past the bar's maximum the bar stops short; the counts do not.
    if (delayBar_->value() != result.bar)
        DelayBarChanged(result.bar);
}

void SettingsDialog::ToggleTestLabels() {
    const bool show = shortCountLabel_->isHidden();
    for (QLabel* label : {shortCountLabel_, longCountLabel_, longestCountLabel_})
        label->setVisible(show);
}
