#pragma once

#include <QCheckBox>
#include <QCursor>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>

// The few control behaviours the main window needs beyond plain Qt widgets.

// A flat check box (a plain one-pixel box) with the three states 0 clear, 1 ticked, 2 grey. Grey
// is only ever set from code: a click toggles between clear and ticked.
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

// A frame as the layout draws it: the title stands on the top line, which is broken behind it,
// and the line runs round the contents. Controls inside start below the title's row.
class Frame : public QGroupBox
{
    Q_OBJECT
public:
    // The title's row: every frame's first control begins 240 twips down. The title starts
    // titleLeft pixels in, with a pixel of the frame's face on either side.
    static constexpr int titleRow = 16;
    static constexpr int titleLeft = 8;

    explicit Frame(const QString &title, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    static qreal titleBaseline(const QRectF &ink);
};

// A locked box of the report: never edited, never reached with the Tab key. It shows its text
// whole, its ink centred in the room the box's border and text margins leave, in a smaller size of
// its font when the text is too long for the box at the font's own size.
class ReportBox : public QLineEdit
{
    Q_OBJECT
public:
    enum class Look { Flat, Sunken };
    static constexpr int sunkenEdge = 2; // pixels
    // `font` is the box's own; a text too long for it is shown in a smaller size of it.
    ReportBox(const QFont &font, Look look, QWidget *parent = nullptr);

    // The box's own font, from which a smaller size is taken when the text needs it.
    void setOwnFont(const QFont &font);

    // Boxes of the report overlap their neighbours by a pixel or a few, the later drawn over the
    // earlier. Run once all are placed: the text keeps to the part of this box no later one covers.
    void keepTextUncovered();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    QRect textRoom() const;
    void fitText();

    QFont m_font;
    Look m_look;
};

// The tab control. Its tabs have a fixed height, so that the page area starts where the layout
// expects it whatever the face; the layout places page controls from the control's own top-left.
class TabControl : public QTabWidget
{
    Q_OBJECT
public:
    static constexpr int tabHeight = 20;

    explicit TabControl(QWidget *parent = nullptr);
    // Where a page's origin lies in the tab control, once laid out.
    QPoint pageOrigin() const;
};

// Draws `box` (a line edit, or a scroll area such as the log) as the layout draws its boxes:
// filled with the `fill` colour of its palette inside a border of `border` pixels, grey or clear;
// the text, or the scrolled view, starts inside the border.
void drawAsBox(QWidget *box, QPalette::ColorRole fill, int border, bool greyBorder);

// The pointing hand over links and tabs, drawn for this program.
QCursor handCursor();
