// The window as laid out: every control's place, size, text, font, colours,
// enabled state and tab order, checked against one table of the layout.

#include "app/form1.h"
#include "support/scripted_radio.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QTemporaryDir>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace qv7m;

namespace {

struct Expected {
    const char* name;
    const char* kind;       // Qt class
    const char* container;  // parent's object name
    const char* text;       // nullptr: no text to check
    int left, top, width, height;  // twips
    const char* font;       // family as named
    double points;
    bool bold;
    char align;  // 'L'eft, 'C'entred, 'R'ight; 0: not checked
};

// The layout's table, in creation order.
const Expected kLayout[] = {
    {"Frame1", "QGroupBox", "Form1", "", 120, 0, 8000, 550, "MS Sans Serif", 8.25, false, 0},
    {"style", "QComboBox", "Frame1", nullptr, 2040, 160, 1215, 315, "MS Sans Serif", 8.25, false, 0},
    {"comport", "QComboBox", "Frame1", nullptr, 3840, 160, 855, 315, "MS Sans Serif", 8.25, false, 0},
    {"dis", "QComboBox", "Frame1", nullptr, 5400, 165, 615, 315, "MS Sans Serif", 8.25, false, 0},
    {"step", "QComboBox", "Frame1", nullptr, 6885, 160, 735, 315, "MS Sans Serif", 8.25, false, 0},
    {"setup", "QPushButton", "Frame1", "Setup", 120, 180, 1335, 300, "MS Sans Serif", 8.25, false, 0},
    {"Label9", "QLabel", "Frame1", "Style:", 1620, 240, 375, 255, "MS Sans Serif", 8.25, false, 'L'},
    {"Label8", "QLabel", "Frame1", "Hz", 7665, 240, 255, 255, "MS Sans Serif", 8.25, false, 'L'},
    {"Label7", "QLabel", "Frame1", "Step:", 6480, 240, 375, 255, "MS Sans Serif", 8.25, false, 'L'},
    {"Label6", "QLabel", "Frame1", "kHz", 6045, 240, 615, 255, "MS Sans Serif", 8.25, false, 'L'},
    {"Label2", "QLabel", "Frame1", "Width:", 4920, 240, 615, 255, "MS Sans Serif", 8.25, false, 'L'},
    {"Label1", "QLabel", "Frame1", "Port:", 3480, 240, 495, 255, "MS Sans Serif", 8.25, false, 'L'},
    {"stopscan", "QCheckBox", "Form1", "Hold scan", 1800, 720, 1575, 540, "MS Sans Serif", 8.25, false, 0},
    {"Picture3", "QLabel", "Form1", nullptr, 800, 1360, 2550, 375, "MS Sans Serif", 8.25, false, 0},
    {"smeter", "QFrame", "Picture3", nullptr, 0, 190, 15, 90, nullptr, 0, false, 0},
    {"Picture2", "qv7m::PictureBox", "Form1", nullptr, 120, 4680, 8000, 150, nullptr, 0, false, 0},
    {"Picture1", "qv7m::PictureBox", "Form1", nullptr, 120, 2160, 8000, 2550, "MS Sans Serif", 8.25, false, 0},
    {"starten", "QPushButton", "Form1", "Start scan", 120, 720, 1575, 540, "MS Sans Serif", 8.25, false, 0},
    {"beenden", "QPushButton", "Form1", "Quit", 6720, 1390, 1395, 300, "MS Sans Serif", 8.25, false, 0},
    {"Label5", "QLabel", "Form1", "FT-1000MP", 6720, 1080, 1395, 255, "MS Sans Serif", 9.75, false, 'C'},
    {"Label4", "QLabel", "Form1", "YAESU", 6720, 795, 1395, 255, "Courier New", 15.75, true, 'C'},
    {"Image1", "QLabel", "Form1", nullptr, 3480, 720, 3135, 975, nullptr, 0, false, 0},
    {"Label3", "QLabel", "Form1", "S-Meter", 120, 1455, 1455, 195, "MS Sans Serif", 8.25, false, 'L'},
    {"info", "QLabel", "Form1", "", 120, 1800, 7995, 375, "Arial", 15.75, true, 'C'},
    {"rechts", "QLabel", "Form1", "Hz", 6600, 4810, 1485, 255, "MS Sans Serif", 8.25, false, 'R'},
    {"links", "QLabel", "Form1", "Hz", 120, 4810, 1575, 255, "MS Sans Serif", 8.25, false, 'L'},
    {"mitte", "QLabel", "Form1", "Hz", 3120, 4810, 1995, 255, "MS Sans Serif", 8.25, true, 'C'},
};

int px(int twips) { return qRound(twips / 15.0); }

QString textOf(QWidget* w) {
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
    if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
    return {};
}

QColor ole(uint32_t c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

class Layout : public ::testing::Test {
protected:
    ScriptedRadio comm;
    RecordingPresenter messages;
    Form1 form{comm, messages};
};

}  // namespace

TEST_F(Layout, EveryControlAsLaidOut) {
    EXPECT_EQ(form.size(), QSize(px(8205), px(5010)));
    EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "the client area is fixed";
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Yaesu FT-1000MP Bandscope"));
    EXPECT_EQ(form.palette().color(QPalette::Window), ole(0x00C0C0C0));
    EXPECT_FALSE(form.windowIcon().isNull());
    EXPECT_EQ(form.windowIcon().pixmap(32, 32).size(), QSize(32, 32));

    for (const Expected& e : kLayout) {
        SCOPED_TRACE(e.name);
        auto* w = form.findChild<QWidget*>(QString::fromLatin1(e.name));
        ASSERT_NE(w, nullptr);
        EXPECT_STREQ(w->metaObject()->className(), e.kind);
        ASSERT_NE(w->parentWidget(), nullptr);
        EXPECT_EQ(w->parentWidget()->objectName(), QString::fromLatin1(e.container));
        EXPECT_EQ(w->geometry(), QRect(px(e.left), px(e.top), px(e.width), px(e.height)));
        if (e.text) {
            EXPECT_EQ(textOf(w), QString::fromLatin1(e.text));
        }
        if (e.font) {
            EXPECT_EQ(w->font().families().value(0), QString::fromLatin1(e.font));
            EXPECT_DOUBLE_EQ(w->font().pointSizeF(), e.points);
            EXPECT_EQ(w->font().bold(), e.bold);
            // Where the named font is missing, its Liberation stand-in is drawn.
            const QString drawn = QFontInfo(w->font()).family();
            EXPECT_TRUE(drawn == QString::fromLatin1(e.font) || drawn.startsWith(QStringLiteral("Liberation")))
                << drawn.toStdString();
        }
        if (e.align) {
            const auto want = e.align == 'L' ? Qt::AlignLeft : e.align == 'C' ? Qt::AlignHCenter : Qt::AlignRight;
            EXPECT_TRUE(qobject_cast<QLabel*>(w)->alignment() & want);
        }
        EXPECT_TRUE(w->isVisibleTo(&form) || QString::fromLatin1(e.name) == QStringLiteral("smeter"));
    }
}

TEST_F(Layout, Colours) {
    EXPECT_EQ(form.info->palette().color(QPalette::WindowText), ole(0x0000FF00));
    EXPECT_EQ(form.info->palette().color(QPalette::Window), ole(0));
    EXPECT_TRUE(form.info->autoFillBackground());
    EXPECT_EQ(form.mitte->palette().color(QPalette::WindowText), ole(0));
    EXPECT_EQ(form.Picture3->palette().color(QPalette::Window), ole(0x00C0C0C0));
    EXPECT_EQ(form.smeter->palette().color(QPalette::Window), ole(0x000000FF));
    EXPECT_EQ(form.Picture1->surface().BackColor(), 0u);
    EXPECT_EQ(form.Picture1->surface().ForeColor(), 0x00E0E0E0u);
    EXPECT_EQ(form.Picture2->surface().BackColor(), 0u);
    EXPECT_DOUBLE_EQ(form.Picture1->surface().Width(), 8000);
    EXPECT_DOUBLE_EQ(form.Picture1->surface().Height(), 2550);
    EXPECT_DOUBLE_EQ(form.Picture2->surface().Width(), 8000);
    EXPECT_DOUBLE_EQ(form.Picture2->surface().Height(), 150);
}

TEST_F(Layout, PicturesSmeterListsAndEnabledStatesBeforeAndAfterLoad) {
    EXPECT_EQ(form.Picture3->pixmap().size(), QSize(168, 19));
    EXPECT_EQ(form.Image1->pixmap().size(), QSize(200, 64));
    form.setSmeterWidth(0);
    EXPECT_FALSE(form.smeter->isVisibleTo(form.Picture3));
    form.setSmeterWidth(10 * 255);
    EXPECT_TRUE(form.smeter->isVisibleTo(form.Picture3));
    EXPECT_EQ(form.smeter->width(), form.Picture3->width()) << "full reading spans the scale";
    for (QComboBox* c : {form.style, form.comport, form.dis, form.step}) {
        EXPECT_FALSE(c->isEditable()) << c->objectName().toStdString();
        EXPECT_EQ(c->count(), 0) << "empty until loaded";
    }
    for (QWidget* w : std::initializer_list<QWidget*>{form.starten, form.beenden, form.setup, form.stopscan,
                                                      form.comport, form.style})
        EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_EQ(form.stopscan->checkState(), Qt::Unchecked);
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    form.load();
    EXPECT_FALSE(form.setup->isEnabled());
    EXPECT_FALSE(form.stopscan->isEnabled());
    EXPECT_TRUE(form.beenden->isEnabled());
    QDir::setCurrent(QDir::tempPath());
}

TEST_F(Layout, TabOrder) {
    // beenden 0, starten 1, Picture1 2, Picture2 4, Picture3 8, stopscan 10,
    // setup 14, step 15, dis 16, comport 17, style 23; labels, the frame and
    // the image never take the focus.
    const QStringList expected{"beenden", "starten", "Picture1", "Picture2", "Picture3", "stopscan",
                               "setup",   "step",    "dis",      "comport",  "style"};
    QStringList chain;
    QWidget* w = form.beenden;
    for (int i = 0; i < 200 && chain.size() < expected.size(); ++i) {
        if (w->focusPolicy() & Qt::TabFocus) chain << w->objectName();
        w = w->nextInFocusChain();
    }
    EXPECT_EQ(chain, expected);
    for (QWidget* l : std::initializer_list<QWidget*>{form.Frame1, form.Label1, form.Label3, form.Label4, form.info,
                                                      form.mitte, form.Image1})
        EXPECT_EQ(l->focusPolicy(), Qt::NoFocus) << l->objectName().toStdString();
}
