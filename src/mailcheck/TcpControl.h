#pragma once

#include <QObject>
#include <QString>

// The TCP control of the main window, `Winsock1`: the operations and the two events a mail check
// uses. The real one is Winsock1 (over QTcpSocket); tests put scripted controls in its place.
//
// Contract every implementation keeps:
// - Each DataArrival carries exactly one whole line, its line ending included, which GetData then
//   returns; one handler run never overlaps another.
// - Failures after the fact (lookup, refusal, reset, time-outs, a runaway reply) arrive as one
//   Error each; the connection is over by then.
// - Close() ends any connection at once and drops whatever it had not delivered yet.
class TcpControl : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual void Close() = 0;
    // 0: any free local port.
    virtual void setLocalPort(quint16 port) = 0;
    // Starts connecting and returns at once. False when the request cannot even be made; then
    // errorText (when given) says why in a line fit for the status log.
    virtual bool Connect(const QString &host, quint16 port, QString *errorText = nullptr) = 0;
    // The line of the DataArrival being handled; empty once read, or outside a DataArrival.
    virtual QString GetData() = 0;
    // False when nothing could be sent (no open connection).
    virtual bool SendData(const QString &line) = 0;

signals:
    void DataArrival(qint32 bytesTotal);
    void Error(qint16 number, const QString &description);
};
