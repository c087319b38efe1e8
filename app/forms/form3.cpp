#include "app/forms/form3.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSvgRenderer>
#include <algorithm>

#include "app/forms/form1.h"
#include "app/forms/twips.h"
#include "app/link/run_time_error.h"
#include "app/upgrade/upgrade_rules.h"

namespace tcu {

namespace {

constexpr int kCellWidth = 260;
constexpr int kCellHeight = 40;
// The room between a label and the box beside it, as between the text boxes and their
// unit labels in the design (3255 to 3360).
constexpr int kLabelGapTwips = 105;

QPixmap animationStrip() {
    QPixmap strip(kCellWidth * upgrade::kAnimationCells, kCellHeight);
    strip.fill(QColor(0xC0, 0xC0, 0xC0));
    QSvgRenderer renderer(QStringLiteral(":/tcu/artwork/upload_strip.svg"));
    QPainter painter(&strip);
    renderer.render(&painter);
    return strip;
}

} // namespace

Form3::Form3(Form1& main) : QDialog(&main), main_(main), strip_(animationStrip()) {
    setWindowTitle(QStringLiteral("Upload Binary File"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint);
    const double dpi = logicalDpiOf(this);
    auto px = [dpi](int twips) { return twipsToPixels(twips, dpi); };

    const char* captions[] = {"Code Size       :",
                              "CRC 16           :",
                              "Version            :",
                              "Date Complied :",
                              "Bytes",
                              "(HEX)",
                              "Rev",
                              "Date"};
    const int tops[] = {240, 720, 1200, 1680};
    for (int i = 0; i < 8; ++i) {
        labels[i] = new QLabel(QString::fromLatin1(captions[i]), this);
        labels[i]->setObjectName(QStringLiteral("Label%1").arg(i + 1));
        labels[i]->adjustSize();
    }
    // The twips positions assume the narrow glyphs of the font the window was drawn
    // with. Where this font needs more room for a caption (padding blanks and all), the
    // label column widens: the text boxes, the labels beside them and the button move
    // right, the window grows by as much, and the bar and the picture stay centred.
    int labelsRight = 0;
    for (int i = 0; i < 4; ++i)
        labelsRight = std::max(labelsRight, px(360) + labels[i]->width());
    const int shift = std::max(0, labelsRight + px(kLabelGapTwips) - px(1680));
    int unitsRight = 0;
    for (int i = 4; i < 8; ++i)
        unitsRight = std::max(unitsRight, px(3360) + shift + labels[i]->width());
    const int width = std::max(px(4440) + shift, unitsRight + px(kLabelGapTwips));
    const int centre = (width - px(4440)) / 2;
    setFixedSize(width, px(4395));
    for (int i = 0; i < 8; ++i)
        labels[i]->move(i < 4 ? px(360) : px(3360) + shift, px(tops[i % 4]));
    for (int i = 0; i < 4; ++i) {
        texts[i] = new QLineEdit(this);
        texts[i]->setObjectName(QStringLiteral("Text%1").arg(i + 1));
        texts[i]->setReadOnly(true);
        texts[i]->setGeometry(px(1680) + shift, px(tops[i]), px(1575), px(285));
    }
    Command1 = new QPushButton(QStringLiteral("&Cancel"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    // As wide as the style needs for the caption, at least the design's width.
    Command1->setGeometry(px(1680) + shift, px(2280),
                          std::max(px(855), Command1->minimumSizeHint().width()), px(495));
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(px(480) + centre, px(3000), px(3255), px(375));
    Picture1 = new QLabel(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setGeometry(px(260) + centre, px(3600), px(3900), px(600));
    Picture1->setAutoFillBackground(true);
    QPalette grey = Picture1->palette();
    grey.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    Picture1->setPalette(grey);
    Picture1->setAlignment(Qt::AlignCenter);

    Timer1.setInterval(100);
    Timer2.setInterval(7000);
    connect(&Timer1, &WindowTimer::tick, this, [this] { Timer1_Timer(); });
    connect(&Timer2, &WindowTimer::tick, this, [this] { Timer2_Timer(); });
    connect(&Timer3, &WindowTimer::tick, this, [this] { Timer3_Timer(); });
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    resetToDesign();
    Form_Load();
}

void Form3::resetToDesign() {
    for (QLineEdit* text : texts)
        text->clear();
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setVisible(false);
    Timer1.setEnabled(false);
    Timer2.setEnabled(false);
    Timer3.setEnabled(false);
    Timer3.setInterval(0);
}

void Form3::reload() {
    resetToDesign();
    Form_Load();
}

void Form3::closeEvent(QCloseEvent* event) {
    // Hidden, not destroyed: the main window keeps the window for the next load.
    event->ignore();
    main_.unloadForm3();
}

void Form3::Form_Load() {
    main_.core().BeginUpload();
    Timer3.setInterval(1000);
    AnimFrame = 0;
    showCell(0);
    centreOnScreen(this);
}

void Form3::Form_Unload() {
    Timer3.setEnabled(false);
    Timer1.setEnabled(false);
    if (const std::optional<QString> error = main_.core().EndUpload())
        main_.showRunTimeError(*error);
}

void Form3::Timer1_Timer() {
    AnimFrame = upgrade::nextAnimationFrame(AnimFrame);
    showCell(AnimFrame);
}

void Form3::showCell(int16_t cell) {
    shownCell_ = cell;
    Picture1->setPixmap(strip_.copy(cell * kCellWidth, 0, kCellWidth, kCellHeight));
}

void Form3::fileInfo(int16_t action, int32_t bytes) {
    ProgressBar1->setVisible(true);
    const upgrade::BarState bar =
        upgrade::barAfterFileInfo(action, main_.CommCtl1.fileSize(), bytes);
    ProgressBar1->setRange(0, bar.maximum);
    ProgressBar1->setValue(bar.value);
}

} // namespace tcu
