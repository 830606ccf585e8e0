#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

// One link port has one owner. The first program started on a link listens
// on a local socket named after the link, in a folder only this user can
// enter; a second start on the same link hands its card image to the first
// and ends, instead of driving the same port from two processes. Programs
// on different links (two emulated boxes, say) run side by side.
//
// Nothing is handed to a program of another user: the socket file and the
// process behind it must both be this user's, or the start goes on on its
// own. A request is "open <length>\n" and the path's UTF-8 bytes, so any
// file name arrives whole; a connection that says more than that, or
// nothing for a few seconds, is closed.
class SingleInstance : public QObject {
    Q_OBJECT
  public:
    explicit SingleInstance(const QString& linkSpec, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when another program of this user on the same link took the
    // request (an empty cardPath just brings it to the front): this one
    // should end.
    bool HandOff(const QString& cardPath);
    // Starts listening; false when a program of this user holds the name
    // (hand off to it then) or there is no private folder for it. A socket
    // left by a program that was killed, or one that is not this user's, is
    // replaced.
    bool Listen();
    // The socket's path; empty when there is no private folder.
    QString ServerName() const { return name_; }
    // What kept the socket from a private folder, for a line on stderr.
    QString Problem() const { return problem_; }

    // "porvane-" and a hash of the link: the socket's name in its folder.
    static QString SocketName(const QString& linkSpec);
    // $XDG_RUNTIME_DIR when it is a folder of this user's that nobody else
    // may enter; else "porvane-<uid>" in the temporary folder, made 0700 and
    // checked. Empty, with *problem set, when neither will do.
    static QString PrivateFolder(QString* problem = nullptr);

    // Longest path a request may carry, and how long a connection may stay
    // without a whole request.
    static constexpr int kMaxPathBytes = 4096;
    void SetRequestTimeout(int ms) { requestTimeoutMs_ = ms; }

  signals:
    // A later start asked to open a card image (empty: just show yourself).
    void OpenCardRequested(const QString& path);

  private:
    void ReadRequest();
    void TakeRequest(QLocalSocket* socket);
    // Whether a program of this user listens on the name now.
    bool OwnProgramListens();

    QString name_;
    QString problem_;
    QLocalServer* server_ = nullptr;
    int requestTimeoutMs_ = 5000;
};
