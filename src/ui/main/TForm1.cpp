#include "ui/main/TForm1.h"

#include <QLabel>
#include <QLocale>
#include <QTime>
#include <QTimer>
#include <QVBoxLayout>

TForm1::TForm1(std::unique_ptr<PortBackend> backend, QWidget* parent) : QMainWindow(parent) {
    setObjectName("Form1");
    setWindowTitle("Porvane");
    setFixedSize(665, 561);
    auto* central = new QWidget(this);
    central->setAutoFillBackground(true);
    QPalette pal = central->palette();
    pal.setColor(QPalette::Window, QColor(0, 64, 64));
    pal.setColor(QPalette::WindowText, Qt::white);
    central->setPalette(pal);
    auto* layout = new QVBoxLayout(central);
    Label5 = new QLabel("Connection waiting", central);
    Label5->setObjectName("Label5");
    Label5->setFixedWidth(217);
    Label5->setAlignment(Qt::AlignCenter);
    layout->addWidget(Label5, 0, Qt::AlignLeft | Qt::AlignTop);
    setCentralWidget(central);

    link_ = std::make_unique<LinkPort>(std::move(backend), this);
    link_->EndCommand();

    // The device is told about a second after start, once the window shows.
    Timer2 = new QTimer(this);
    Timer2->setObjectName("Timer2");
    Timer2->setSingleShot(true);
    connect(Timer2, &QTimer::timeout, this, &TForm1::Timer2Timer);
    Timer2->start(1000);
}

TForm1::~TForm1() = default;

std::string TForm1::ClockText() {
    return QLocale::system().toString(QTime::currentTime(), QLocale::LongFormat).toStdString();
}

void TForm1::RepaintMainWindow() {
    repaint();
}

void TForm1::SetStatusText(const std::string& text) {
    Label5->setText(QString::fromStdString(text));
}

void TForm1::Timer2Timer() {
    if (link_->DetectDevice())
        Label5->setText(link_->DirectMode ? "TORIN " : "Ambrel");
}
