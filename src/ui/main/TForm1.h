#pragma once

#include "link/LinkHost.h"
#include "link/LinkPort.h"

#include <QMainWindow>
#include <memory>

class QLabel;
class QTimer;

// The main window. For now it owns the link, ends any command left on the
// wire, and tells the device kind on its status line a second after start.
class TForm1 : public QMainWindow, public LinkHost {
    Q_OBJECT
  public:
    explicit TForm1(std::unique_ptr<PortBackend> backend, QWidget* parent = nullptr);
    ~TForm1() override;

    LinkPort& Link() { return *link_; }
    QLabel* Label5 = nullptr;

    // LinkHost
    std::string ClockText() override;
    void RepaintMainWindow() override;
    void SetStatusText(const std::string& text) override;

  public slots:
    void Timer2Timer();

  private:
    std::unique_ptr<LinkPort> link_;
    QTimer* Timer2 = nullptr;
};
