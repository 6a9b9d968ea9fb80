// The main window's controls as they were drawn: names, texts, geometry (twips), tab order,
// fonts and colours.
#include "app/FrmMain.h"
#include "app/Pictures.h"
#include "app/ThaiFonts.h"
#include "app/Twips.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QStyleOption>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace
{
const QColor darkText(64, 64, 64);
const QColor linkText(0, 0, 192);

// `origin` is where the parent's own origin lies in the container the layout measures from: a tab
// page's controls are measured from the tab control's top-left corner, tabs included.
template <typename W> W *place(W *widget, QWidget *parent, QRect twips, QPoint origin = {})
{
    widget->setParent(parent);
    QRect pixels = Twips::rect(twips.x(), twips.y(), twips.width(), twips.height());
    pixels.translate(-origin);
    widget->setGeometry(pixels);
    return widget;
}

void setTextColour(QWidget *widget, const QColor &colour, const QColor &base = {})
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    palette.setColor(QPalette::ButtonText, colour);
    if (base.isValid())
        palette.setColor(QPalette::Base, base);
    widget->setPalette(palette);
}

// These colours of the widget as the desktop gives them, whatever its parent's are.
void useDesktopColours(QWidget *widget, std::initializer_list<QPalette::ColorRole> roles)
{
    QPalette palette = widget->palette();
    const QPalette desktop = QApplication::palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        for (const QPalette::ColorRole role : roles)
            palette.setColor(group, role, desktop.color(group, role));
    widget->setPalette(palette);
}

// The control's font, or a smaller size of it if its text would not fit whole in `room`.
void setFittedFont(QWidget *widget, const QFont &font, const QString &text, QSize room)
{
    widget->setFont(ThaiFonts::fitted(font, text, room));
}

// One font for every choice of the list: each must show whole in the field when chosen.
void fitChoices(QComboBox *list)
{
    QStyleOptionComboBox option;
    option.initFrom(list);
    const QSize room =
        list->style()
            ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, list)
            .size();
    QFont font = list->font();
    for (int i = 0; i < list->count(); ++i)
        font = ThaiFonts::fitted(font, list->itemText(i), room);
    list->setFont(font);
}

QGroupBox *frame(const QString &title, const QString &tip, QWidget *page, QRect twips,
                 QPoint origin)
{
    auto *box = place(new Frame(title), page, twips, origin);
    setFittedFont(box, ThaiFonts::msSansSerif(9.75), title,
                  QSize(box->width() - 2 * Frame::titleLeft, Frame::titleRow));
    setTextColour(box, darkText);
    box->setToolTip(tip);
    return box;
}

// A white, flat text box the user types into.
QLineEdit *entryBox(QLineEdit *box, QWidget *parent, QRect twips, const QString &tip)
{
    place(box, parent, twips);
    box->setFont(ThaiFonts::msSansSerif(8.25));
    box->setToolTip(tip);
    setTextColour(box, darkText, Qt::white);
    drawAsBox(box, QPalette::Base, 1, true);
    return box;
}

// A locked box of the report, on button face. The six of the top row are flat, in the larger
// font; the two lines below have the sunken edge and the window's font.
QLineEdit *reportBox(QWidget *parent, QRect twips, const QString &text, Qt::Alignment align,
                     bool flat, const QString &tip = {})
{
    auto *box = place(new ReportBox(ThaiFonts::msSansSerif(flat ? 9.75 : 8.25),
                                    flat ? ReportBox::Look::Flat : ReportBox::Look::Sunken),
                      parent, twips);
    box->setAlignment(align | Qt::AlignVCenter);
    box->setText(text);
    box->setToolTip(tip);
    // Its text in the desktop's own text colour, darker than the grey of the other controls.
    useDesktopColours(box, {QPalette::Text});
    return box;
}

QLabel *label(const QString &text, QWidget *parent, QRect twips, const QString &tip = {})
{
    auto *l = place(new QLabel(text), parent, twips);
    // Beneath the boxes placed beside it, as Windows draws its labels, so that a box reaching
    // over a label takes every click inside it; the text keeps to the part no box covers.
    l->lower();
    QRect room = l->rect();
    for (const QWidget *box : parent->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        const QRect over = (box->geometry() & l->geometry()).translated(-l->pos());
        if (box != l && !over.isEmpty() && over.left() > 0)
            room.setRight(std::min(room.right(), over.left() - 1));
    }
    setFittedFont(l, ThaiFonts::msSansSerif(8.25), text, room.size());
    l->setToolTip(tip);
    setTextColour(l, darkText);
    return l;
}

CheckBox *checkBox(const QString &text, QWidget *parent, QRect twips, const QString &tip)
{
    auto *box = place(new CheckBox(text), parent, twips);
    QStyleOptionButton option;
    option.initFrom(box);
    const QRect room = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
    setFittedFont(box, ThaiFonts::msSansSerif(8.25), text, room.size());
    box->setToolTip(tip);
    setTextColour(box, darkText);
    return box;
}

LinkLabel *link(const QString &text, QWidget *parent, QRect twips, const QString &tip,
                const QCursor &hand, QPoint origin)
{
    auto *l = place(new LinkLabel(text), parent, twips, origin);
    setFittedFont(l, ThaiFonts::msSansSerif(8.25, false, true), text, l->size());
    l->setToolTip(tip);
    setTextColour(l, linkText);
    l->setCursor(hand);
    return l;
}

} // namespace

void FrmMain::buildControls()
{
    setObjectName(u"FrmMain"_s);
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(Twips::toPixels(5040), Twips::toPixels(3090));
    setFont(ThaiFonts::msSansSerif(8.25));
    setWindowIcon(QIcon(u":/images/window.ico"_s));
    const QCursor hand = handCursor();

    auto *banner = new DeferredPicture(u":/images/banner.jpg"_s, this);
    banner->setObjectName(u"banner"_s);
    banner->setGeometry(0, 0, 123, 240);

    auto *tabs = place(new TabControl, this, QRect(1560, 0, 3495, 3105));
    SSTab1 = tabs;
    SSTab1->setFont(ThaiFonts::msSansSerif(8.25));
    // The hand over the whole surface, tabs and uncovered page area alike.
    SSTab1->setCursor(hand);
    auto *page0 = new QWidget;
    auto *page1 = new QWidget;
    page0->setObjectName(u"page0"_s);
    page1->setObjectName(u"page1"_s);
    SSTab1->addTab(page0, u"              เข้าสู่ระบบ           "_s);
    SSTab1->addTab(page1, u" ตั้งค่า"_s);
    SSTab1->setCurrentIndex(0);
    const QPoint pageOrigin = tabs->pageOrigin();

    // Only the window's face is loaded for the controls: its tool tips and message boxes, made
    // later, keep the desktop's font. Begun after the tabs, which measure their labels in their
    // own font: a tab bar made inside drew its labels in another size than it measured them in.
    const ThaiFonts::ApplicationFontDuring windowFace(ThaiFonts::msSansSerif(8.25));

    // Page 1: the options.
    fraOption = frame(u" ตั้งค่า "_s, u" Options. "_s, page1, QRect(70, 360, 3375, 2295), pageOrigin);
    txtPOP3Server = entryBox(new QLineEdit, fraOption, QRect(120, 600, 3120, 285), {});
    txtPOP3Server->setAlignment(Qt::AlignCenter);
    txtMinutes = static_cast<TypedLengthLineEdit *>(
        entryBox(new TypedLengthLineEdit(2), fraOption, QRect(1560, 1170, 300, 285), {}));
    txtMinutes->setText(u"15"_s);
    txtMinutes->setAlignment(Qt::AlignCenter);
    chkOpenSound =
        checkBox(u"เปิดเสียงเตือน"_s, fraOption, QRect(120, 1920, 1335, 255), u" Enable Sound.  "_s);
    chkEvery = checkBox(u"เช็กอีเมลล์ ทุก ๆ"_s, fraOption, QRect(120, 1200, 1455, 255),
                        u" Check Email Every.  "_s);
    chkLoadStart = checkBox(u"เรียกโปรแกรมอัตโนมัติเมื่อเปิดเครื่อง"_s, fraOption,
                            QRect(120, 1560, 3015, 255), u" Load At Startup. "_s);
    labPop3 = label(u"POP3 Sever : "_s, fraOption, QRect(120, 280, 1455, 255));
    labMinutes = label(u"นาที"_s, fraOption, QRect(1935, 1200, 495, 255), u"Minutes"_s);
    // Connection security, in the band between the server box and the interval row that the
    // drawn controls leave free: no drawn control moves for it. The list follows SecurityMode.
    labSecurity =
        label(u"การเข้ารหัส :"_s, fraOption, QRect(120, 900, 1065, 255), u" Connection Security. "_s);
    cboSecurity = place(new QComboBox, fraOption, QRect(1200, 885, 2040, 285));
    cboSecurity->setFont(ThaiFonts::msSansSerif(8.25));
    cboSecurity->setToolTip(u" Connection Security. "_s);
    cboSecurity->addItems({u"อัตโนมัติ"_s, u"TLS ตั้งแต่ต้น"_s, u"STARTTLS เท่านั้น"_s, u"ไม่เข้ารหัส"_s});
    fitChoices(cboSecurity);
    setTextColour(cboSecurity, darkText);
    // A desktop notification beside the popup, right of the sound option.
    chkDesktopNotify = checkBox(u"แจ้งบนเดสก์ท็อปด้วย"_s, fraOption, QRect(1560, 1920, 1695, 255),
                                u" Desktop Notification. "_s);
    // How the login signs in, in the band below the frame that page 1 leaves free.
    labSignIn = place(new QLabel(u"ลงชื่อเข้าใช้ :"_s), page1, QRect(120, 2760, 855, 255), pageOrigin);
    setFittedFont(labSignIn, ThaiFonts::msSansSerif(8.25), labSignIn->text(), labSignIn->size());
    setTextColour(labSignIn, darkText);
    labSignIn->setToolTip(u" Sign In. "_s);
    cboSignIn = place(new QComboBox, page1, QRect(960, 2730, 1320, 285), pageOrigin);
    cboSignIn->setFont(ThaiFonts::msSansSerif(8.25));
    cboSignIn->setToolTip(u" Sign In. "_s);
    cboSignIn->addItems({u"รหัสผ่าน"_s, u"OAuth2"_s});
    fitChoices(cboSignIn);
    setTextColour(cboSignIn, darkText);
    cmdSignIn =
        place(new QPushButton(u"OAuth2..."_s), page1, QRect(2340, 2700, 1095, 340), pageOrigin);
    cmdSignIn->setFont(ThaiFonts::msSansSerif(8.25));
    cmdSignIn->setToolTip(u" OAuth2 Sign In. "_s);

    // Page 0: log in, report, status.
    cmdCheckNow =
        place(new QPushButton(u"&เช็คอีเมลล์"_s), page0, QRect(2340, 2700, 1095, 340), pageOrigin);
    cmdCheckNow->setFont(ThaiFonts::msSansSerif(8.25));
    cmdCheckNow->setToolTip(u" Check E-Mail. "_s);

    FraLogin = frame(u"เข้าสู่ระบบ"_s, u" Login. "_s, page0, QRect(60, 360, 3375, 1155), pageOrigin);
    chkMemPass =
        checkBox(u"จำรหัสผ่าน"_s, FraLogin, QRect(960, 880, 1050, 200), u" Member you Password."_s);
    txtPassword = entryBox(new PasswordLineEdit, FraLogin, QRect(960, 560, 2330, 285),
                           u" Enter Password here. "_s);
    txtUserName =
        entryBox(new QLineEdit, FraLogin, QRect(960, 240, 2330, 285), u" Enter Username."_s);
    labPassword = label(u"Password  :"_s, FraLogin, QRect(100, 600, 975, 255));
    labUserName = label(u"Username :"_s, FraLogin, QRect(100, 280, 855, 255));

    fraReport = frame(u"รายงาน"_s, u" Report. "_s, page0, QRect(60, 1560, 3375, 1095), pageOrigin);
    txtNewEmail = reportBox(fraReport, QRect(880, 240, 375, 300), u"0"_s, Qt::AlignHCenter, true);
    txtNewMail = reportBox(fraReport, QRect(2280, 240, 615, 300), {}, Qt::AlignHCenter, true);
    txtFrom = reportBox(fraReport, QRect(1680, 240, 615, 300), u"ทั้งหมด"_s, Qt::AlignHCenter, true,
                        u"Total E-Mail"_s);
    Text3 = reportBox(fraReport, QRect(1250, 240, 495, 300), u"ฉบับ ,"_s, Qt::AlignHCenter, true);
    txtMailSize = reportBox(fraReport, QRect(120, 760, 3135, 285), {}, Qt::AlignLeft, false,
                            u" Total E-Mail Size (Kb). "_s);
    txtLastCheck = reportBox(fraReport, QRect(120, 540, 3135, 285), {}, Qt::AlignLeft, false,
                             u" Last Check. "_s);
    Text2 = reportBox(fraReport, QRect(2880, 240, 375, 300), u"ฉบับ"_s, Qt::AlignHCenter, true);
    Text1 = reportBox(fraReport, QRect(120, 240, 735, 300), u"อีเมลล์ใหม่"_s, Qt::AlignLeft, true,
                      u"New E-Mail. "_s);
    for (ReportBox *box : fraReport->findChildren<ReportBox *>())
        box->keepTextUncovered();
    // The top row reads as one sentence: its words share the size at which the longest fits,
    // and the counts start from that size.
    QFont row = ThaiFonts::msSansSerif(9.75);
    for (const QLineEdit *word : {Text1, Text3, txtFrom, Text2})
        row.setPixelSize(std::min(row.pixelSize(), word->font().pixelSize()));
    for (QLineEdit *box : {Text1, txtNewEmail, Text3, txtFrom, txtNewMail, Text2})
        static_cast<ReportBox *>(box)->setOwnFont(row);

    fraStatus = frame(u"สถานะ"_s, u" Status. "_s, page0, QRect(60, 1560, 3375, 1095), pageOrigin);
    ProgressBar1 = place(new QProgressBar, fraStatus, QRect(75, 920, 3225, 105));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    txtStatus = place(new StatusBox, fraStatus, QRect(70, 240, 3220, 630));
    txtStatus->setFont(ThaiFonts::msSansSerif(8.25));
    txtStatus->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setTextColour(txtStatus, darkText, Qt::white);
    drawAsBox(txtStatus, QPalette::Base, 1, true);
    // Its scroll bar's arrows in the desktop's colours, not the log's grey.
    useDesktopColours(txtStatus->verticalScrollBar(), {QPalette::WindowText, QPalette::ButtonText});

    labOpenMail = link(u"เปิดอีเมลล์"_s, page0, QRect(120, 2780, 735, 255), u" Open E-Mail."_s, hand,
                       pageOrigin);
    labHide =
        link(u"ซ่อนหน้าต่าง"_s, page0, QRect(1320, 2780, 855, 255), u" Hide."_s, hand, pageOrigin);
    // The controls on the pages keep their own pointers; those without one get the arrow rather
    // than the tab control's hand.
    for (QWidget *page : {page0, page1})
        for (QWidget *control : page->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            if (!control->testAttribute(Qt::WA_SetCursor))
                control->setCursor(Qt::ArrowCursor);

    // Never seen: they lie below the client area and only hold pictures.
    Image2 = place(new QLabel, this, QRect(600, 3840, 240, 240));
    Image2->setPixmap(pngPicture(u":/images/envelope-coloured.png"_s));
    Image1 = place(new QLabel, this, QRect(360, 3840, 240, 240));
    Image1->setPixmap(pngPicture(u":/images/envelope-plain.png"_s));

    Timer1 = new QTimer(this);
    Timer1->setInterval(1000);

    const std::initializer_list<std::pair<QObject *, const char16_t *>> names{
        {SSTab1, u"SSTab1"},
        {FraLogin, u"FraLogin"},
        {fraReport, u"fraReport"},
        {fraStatus, u"fraStatus"},
        {fraOption, u"fraOption"},
        {txtUserName, u"txtUserName"},
        {txtPassword, u"txtPassword"},
        {chkMemPass, u"chkMemPass"},
        {Text1, u"Text1"},
        {txtNewEmail, u"txtNewEmail"},
        {Text3, u"Text3"},
        {txtFrom, u"txtFrom"},
        {txtNewMail, u"txtNewMail"},
        {Text2, u"Text2"},
        {txtLastCheck, u"txtLastCheck"},
        {txtMailSize, u"txtMailSize"},
        {ProgressBar1, u"ProgressBar1"},
        {txtStatus, u"txtStatus"},
        {cmdCheckNow, u"cmdCheckNow"},
        {labOpenMail, u"labOpenMail"},
        {labHide, u"labHide"},
        {labUserName, u"labUserName"},
        {labPassword, u"labPassword"},
        {labPop3, u"labPop3"},
        {txtPOP3Server, u"txtPOP3Server"},
        {chkEvery, u"chkEvery"},
        {txtMinutes, u"txtMinutes"},
        {labMinutes, u"labMinutes"},
        {chkLoadStart, u"chkLoadStart"},
        {chkOpenSound, u"chkOpenSound"},
        {labSecurity, u"labSecurity"},
        {cboSecurity, u"cboSecurity"},
        {chkDesktopNotify, u"chkDesktopNotify"},
        {labSignIn, u"labSignIn"},
        {cboSignIn, u"cboSignIn"},
        {cmdSignIn, u"cmdSignIn"},
        {Image1, u"Image1"},
        {Image2, u"Image2"},
        {Timer1, u"Timer1"}};
    for (const auto &[object, name] : names)
        object->setObjectName(QString::fromUtf16(name));

    // The keyboard sequence across both pages; labels, frames, the progress bar and the locked
    // report boxes take no focus and drop out of it.
    QWidget *tabOrder[] = {SSTab1,        txtUserName, txtPassword,  txtStatus,        cmdCheckNow,
                           chkEvery,      txtMinutes,  chkLoadStart, chkOpenSound,     chkMemPass,
                           txtPOP3Server, cboSecurity, cboSignIn,    chkDesktopNotify, cmdSignIn};
    for (size_t i = 1; i < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    // The button is the window's default: Enter outside the log starts a check.
    for (auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto *shortcut = new QShortcut(QKeySequence(key), this);
        connect(shortcut, &QShortcut::activated, this, [this] {
            if (focusWidget() != txtStatus)
                cmdCheckNow->click();
        });
    }
    buildMenu();
}

void FrmMain::buildMenu()
{
    // Never a menu bar: only opened from the tray icon.
    MenuFile = new QMenu(u"File"_s, this);
    MenuFile->setObjectName(u"MenuFile"_s);
    MenuFile->setFont(ThaiFonts::msSansSerif(8.25));
    MenuCheck = MenuFile->addAction(u"เช็คอีเมลล์"_s);
    MenuShow = MenuFile->addAction(u"เรียกโปรแกรม"_s);
    Line2 = MenuFile->addSeparator();
    MenuOption = MenuFile->addAction(u"ตั้งค่า/ช่วยเหลือ"_s);
    line1 = MenuFile->addSeparator();
    MenuExit = MenuFile->addAction(u"ปิดโปรแกรม"_s);
    MenuCheck->setObjectName(u"MenuCheck"_s);
    MenuShow->setObjectName(u"MenuShow"_s);
    Line2->setObjectName(u"Line2"_s);
    MenuOption->setObjectName(u"MenuOption"_s);
    line1->setObjectName(u"line1"_s);
    MenuExit->setObjectName(u"MenuExit"_s);
}
