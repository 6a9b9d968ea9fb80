#pragma once

#include <QCheckBox>
#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

// The few control behaviours the main window needs beyond plain Qt widgets.

// A check box with the three states 0 clear, 1 ticked, 2 grey. Grey is only ever set from code:
// a click toggles between clear and ticked.
class CheckBox : public QCheckBox
{
    Q_OBJECT
public:
    explicit CheckBox(const QString &text, QWidget *parent = nullptr);

    int Value() const;
    // Refuses anything but 0, 1 and 2 and keeps its state then.
    bool setValue(qint64 state);

protected:
    void nextCheckState() override;
};

// A text box that refuses a third typed or pasted character but takes any text set from code,
// so that a stored value longer than typing allows still reaches the validation whole.
class TypedLengthLineEdit : public QLineEdit
{
    Q_OBJECT
public:
    TypedLengthLineEdit(int typedLimit, QWidget *parent = nullptr);
};

// The status log. Its text uses CR LF between lines, like the lines the server sends, while
// the document underneath keeps plain paragraphs.
class StatusBox : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit StatusBox(QWidget *parent = nullptr);

    QString Text() const;
    void setText(const QString &text);
    // Appends, laying out only the new lines; a caret at the end stays at the end.
    void appendText(const QString &text);
    // Puts the caret at the end and the newest line in view: at once when shown, else when next
    // shown, since a hidden log (the program in the tray) need not be laid out to be written.
    void moveCaretToEnd();

protected:
    void showEvent(QShowEvent *event) override;

private:
    bool m_revealCaretOnShow = false;
};

// A password box that shows one "*" per character, whatever the desktop's style would draw.
class PasswordLineEdit : public QLineEdit
{
    Q_OBJECT
public:
    explicit PasswordLineEdit(QWidget *parent = nullptr);
};

// An underlined label that acts on a click, with the hand pointer.
class LinkLabel : public QLabel
{
    Q_OBJECT
public:
    explicit LinkLabel(const QString &text, QWidget *parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};

// A picture read when its window is first shown. The main window spends most runs hidden in the
// tray; its banner (and the JPEG decoder behind it) need not be in memory until someone opens it.
class DeferredPicture : public QLabel
{
    Q_OBJECT
public:
    explicit DeferredPicture(QString resource, QWidget *parent = nullptr);

protected:
    void showEvent(QShowEvent *event) override;

private:
    QString m_resource;
};

// The pointing hand over links and tabs, drawn for this program.
QCursor handCursor();
