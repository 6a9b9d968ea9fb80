#include "notify/PopUp.h"

#include "app/Pictures.h"
#include "app/ThaiFonts.h"
#include "mailcheck/ServerAddress.h"
#include "notify/OnTop.h"
#include "platform/UrlOpener.h"

#include <QCloseEvent>
#include <QEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

using namespace Qt::StringLiterals;

namespace
{

// The window's client area, which is its whole size: it has no border.
constexpr int WidthTwips = 3855;
constexpr int HeightTwips = 1335;
constexpr int TwipsPerInch = 1440;

const QColor Background(224, 224, 224);
const QColor TextColour(64, 64, 64);
const QColor OutlineColour(128, 128, 128);

// The outline and the separator, drawn beneath the labels (LaOK covers part of the right edge).
constexpr struct {
    int x1, y1, x2, y2;
} Lines[] = {
    {0, 0, 3840, 0},       // Line2: top
    {0, 0, 0, 1320},       // Line1: left
    {3840, 0, 3840, 1310}, // Line3: right, 10 twips short of the bottom line
    {0, 1320, 3840, 1320}, // Line5: bottom
    {0, 960, 3840, 960},   // Line4: between the text lines and the links
};

QScreen *popUpScreen()
{
    return QGuiApplication::primaryScreen();
}

// Twips are 1/1440 inch of the screen's logical (device-independent) pixels, so the layout keeps
// its proportions on a scaled desktop.
double twipsPerPixel(qreal logicalDpi)
{
    return logicalDpi > 0 ? TwipsPerInch / logicalDpi : 15.0;
}

// The labels were drawn in MS Sans Serif 8.25 pt with the Thai character set; the font is sized
// with the window, which follows the screen's logical resolution.
QFont labelFont(double twipsPerPixel, bool bold, bool underline)
{
    QFont font = ThaiFonts::msSansSerif(8.25, bold, underline);
    font.setPixelSize(qRound(font.pixelSize() * 15.0 / twipsPerPixel));
    return font;
}

// The label's font, or a smaller size of it if its text would not fit whole in the part of the
// label that lies inside the window.
void fitText(QLabel *label, const QFont &font)
{
    const QRect seen = label->geometry().intersected(label->parentWidget()->rect());
    label->setFont(ThaiFonts::fitted(font, label->text(), seen.size()));
}

QLabel *makeLabel(QWidget *parent, const QString &name, const QString &text,
                  Qt::Alignment alignment, const QString &toolTip)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setAlignment(alignment);
    label->setToolTip(toolTip);
    label->setTextFormat(Qt::PlainText);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, TextColour);
    palette.setColor(QPalette::Window, Background);
    label->setPalette(palette);
    return label;
}

} // namespace

PopUp::PopUp(std::function<QString()> serverText, UrlOpener &urlOpener, const QCursor &handCursor,
             QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint), m_serverText(std::move(serverText)),
      m_urlOpener(urlOpener),
      m_twipsPerPixelX(twipsPerPixel(popUpScreen() ? popUpScreen()->logicalDotsPerInchX() : 96)),
      m_twipsPerPixelY(twipsPerPixel(popUpScreen() ? popUpScreen()->logicalDotsPerInchY() : 96)),
      m_screenOrigin(popUpScreen() ? popUpScreen()->geometry().topLeft() : QPoint()),
      m_slide(popUpScreen() ? qRound(popUpScreen()->geometry().width() * m_twipsPerPixelX) : 0,
              popUpScreen() ? qRound(popUpScreen()->geometry().height() * m_twipsPerPixelY) : 0,
              WidthTwips, HeightTwips)
{
    setObjectName(u"PopUp"_s);
    setFixedSize(qRound(WidthTwips / m_twipsPerPixelX), qRound(HeightTwips / m_twipsPerPixelY));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Background);
    setPalette(palette);
    setAutoFillBackground(true);
    QFont windowFont(u"Verdana"_s);
    windowFont.setPointSizeF(8.25);
    setFont(windowFont);
    setWindowIcon(QIcon(u":/images/popup-window.ico"_s));

    const auto place = [this](QWidget *control, int left, int top, int width, int height) {
        control->setGeometry(qRound(left / m_twipsPerPixelX), qRound(top / m_twipsPerPixelY),
                             qRound(width / m_twipsPerPixelX), qRound(height / m_twipsPerPixelY));
    };

    m_image1 = new QLabel(this);
    m_image1->setObjectName(u"Image1"_s);
    m_image1->setScaledContents(true);
    // Empty until the artwork is there: a missing resource gives a null pixmap.
    m_image1->setPixmap(pngPicture(u":/images/popup-envelope.png"_s));
    place(m_image1, 70, 0, 480, 480);

    m_mail = makeLabel(this, u"Mail"_s, QString(), Qt::AlignCenter, u"Total New E-mail"_s);
    place(m_mail, 600, 120, 3105, 255);
    m_email = makeLabel(this, u"email"_s, QString(), Qt::AlignCenter, QString());
    place(m_email, 105, 550, 3675, 255);
    fitText(m_mail, labelFont(m_twipsPerPixelY, true, false));
    fitText(m_email, labelFont(m_twipsPerPixelY, false, false));

    const Qt::Alignment left = Qt::AlignLeft | Qt::AlignTop;
    m_labMailServer = makeLabel(this, u"labMailServer"_s, u"เปิดอีเมลล์"_s, left, u" Open E-mail."_s);
    place(m_labMailServer, 75, 1020, 1095, 255);
    m_laOK = makeLabel(this, u"LaOK"_s, u"รับทราบ"_s, left, u" Acknowledge. "_s);
    m_laOK->setAutoFillBackground(true); // opaque: it covers the right outline where it crosses it
    place(m_laOK, 3195, 1020, 735, 255);
    for (QLabel *link : {m_labMailServer, m_laOK}) {
        fitText(link, labelFont(m_twipsPerPixelY, false, true));
        link->setCursor(handCursor);
        link->installEventFilter(this);
    }

    m_timer1.setObjectName(u"Timer1"_s);
    connect(&m_timer1, &QTimer::timeout, this, &PopUp::Timer1_Timer);

    Form_Load();
}

void PopUp::setTexts(const QString &mail, const QString &email, const QString &caption)
{
    m_mail->setText(mail);
    fitText(m_mail, labelFont(m_twipsPerPixelY, true, false));
    m_email->setText(email);
    fitText(m_email, labelFont(m_twipsPerPixelY, false, false));
    setWindowTitle(caption);
}

void PopUp::Form_Load()
{
    m_slide.Load();
    moveToSlide();
    m_timer1.start(PopUpSlide::FirstTickMs);
    SetTopMost(this, true);
}

void PopUp::Timer1_Timer()
{
    m_timer1.setInterval(PopUpSlide::TickMs);
    if (!m_slide.tick())
        return;
    moveToSlide();
    // Every later tick would change nothing.
    if (!m_slide.SlidingUp())
        m_timer1.stop();
}

void PopUp::labMailServer_Click()
{
    const QString server = m_serverText ? m_serverText() : QString();
    m_urlOpener.open(webAddressFor(server));
    Unload();
}

void PopUp::LaOK_Click()
{
    Unload();
}

void PopUp::Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_timer1.stop();
    hide();
    emit unloaded();
    deleteLater();
}

void PopUp::closeEvent(QCloseEvent *event)
{
    // Closed by the window manager: gone the same way as through a link.
    event->accept();
    Unload();
}

void PopUp::moveToSlide()
{
    move(m_screenOrigin.x() + qRound(m_slide.left() / m_twipsPerPixelX),
         m_screenOrigin.y() + qRound(m_slide.top() / m_twipsPerPixelY));
}

void PopUp::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    QPainter painter(this);
    painter.setPen(QPen(OutlineColour, 1));
    for (const auto &line : Lines)
        painter.drawLine(qRound(line.x1 / m_twipsPerPixelX), qRound(line.y1 / m_twipsPerPixelY),
                         qRound(line.x2 / m_twipsPerPixelX), qRound(line.y2 / m_twipsPerPixelY));
}

bool PopUp::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const auto *label = static_cast<QWidget *>(watched);
        // A click is a press and a release of the left button over the same link.
        if (mouse->button() == Qt::LeftButton &&
            label->rect().contains(mouse->position().toPoint())) {
            if (watched == m_labMailServer)
                labMailServer_Click();
            else if (watched == m_laOK)
                LaOK_Click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
