#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// One link port has one owner. The first program started on a link listens
// on a local socket named after the user and the link; a second start on
// the same link hands its card image to the first and ends, instead of
// driving the same port from two processes. Programs on different links
// (two emulated boxes, say) run side by side.
class SingleInstance : public QObject {
    Q_OBJECT
  public:
    explicit SingleInstance(const QString& linkSpec, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when another program on the same link took the request (an empty
    // cardPath just brings it to the front): this one should end.
    bool HandOff(const QString& cardPath);
    // Starts listening; false when another program holds the name (hand off
    // to it then) or the name can't be taken.
    bool Listen();
    QString ServerName() const { return name_; }

  signals:
    // A later start asked to open a card image (empty: just show yourself).
    void OpenCardRequested(const QString& path);

  private:
    void ReadRequest();

    QString name_;
    QLocalServer* server_ = nullptr;
};
