// The setting tabs of Form1, built from the setup-key table so that every frame, option
// caption and control name comes from one place.
#include "app/settings/settings_window.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QVBoxLayout>

#include "app/forms/form1.h"
#include "app/settings/artwork.h"
#include "app/settings/delay_filter.h"

namespace tcu::settings {

namespace {

constexpr std::array<const char*, 32> kControlNames = {
    "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",
    "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
    "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};

constexpr int kPickerRows = 7;
constexpr int kPickerColumns = 5;

QVBoxLayout* column(QWidget* parent) {
    auto* layout = new QVBoxLayout(parent);
    return layout;
}

} // namespace

void ClickLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && onClick && isEnabled())
        onClick();
    QLabel::mousePressEvent(event);
}

const char* controlCharName(int code) {
    if (code >= 0 && code < 32)
        return kControlNames[code];
    return code == 127 ? "DEL" : "";
}

const std::array<int, 33>& pickerCodes() {
    static const std::array<int, 33> codes = [] {
        std::array<int, 33> c{};
        for (int i = 0; i < 32; ++i)
            c[i] = i;
        c[32] = 127;
        return c;
    }();
    return codes;
}

SettingsWindow::SettingsWindow(Form1& form) : form_(form) {
    buildPowerSaving(form.tabPowerSaving);
    buildRs232(form.tabRS232);
    buildSpeaker(form.tabSpeakerVolume);
    buildPrefix(form.tabPrefix);
    buildSuffix(form.tabSuffix);
    buildLinear(form.tabLinearCodes);
    buildPdf417(form.tabPDF417);
    buildMagnetic(form.tabMagneticStripe);
    buildRegistration(form.tabRegistrationKey);

    const QSize buttonIcon(32, 32);
    struct Picture {
        QPushButton* button;
        const char* name;
    };
    for (const Picture& p : {Picture{form.cmdSend, "send"}, Picture{form.cmdReceive, "receive"},
                             Picture{form.cmdFactory, "factory"}, Picture{form.cmdExit, "exit"}}) {
        p.button->setIcon(artworkIcon(QString::fromLatin1(p.name)));
        p.button->setIconSize(buttonIcon);
        p.button->setMinimumHeight(48);
    }
}

QGroupBox* SettingsWindow::makeFrame(int key, QWidget* parent) {
    const SetupKey& k = setupKeys()[key];
    auto* frame = new QGroupBox(QString::fromLatin1(k.frame.data(), k.frame.size()), parent);
    frame->setObjectName(QStringLiteral("Frame") + QString::fromLatin1(k.key.data(), 6));
    frames_[key] = frame;
    auto* group = new QButtonGroup(frame);
    groups_[key] = group;
    const bool grid = k.optionCount > 4;
    auto* layout = grid ? static_cast<QLayout*>(new QGridLayout(frame)) : new QVBoxLayout(frame);
    for (int o = 0; o < k.optionCount; ++o) {
        const SetupOption& opt = k.options[o];
        auto* button =
            new QRadioButton(QString::fromLatin1(opt.caption.data(), opt.caption.size()), frame);
        button->setObjectName(QString::fromLatin1(opt.control.data(), opt.control.size()));
        group->addButton(button, o);
        options_[key].push_back(button);
        if (grid)
            static_cast<QGridLayout*>(layout)->addWidget(button, o % 4, o / 4);
        else
            layout->addWidget(button);
    }
    if (k.initial >= 0)
        options_[key][k.initial]->setChecked(true);
    return frame;
}

void SettingsWindow::buildPowerSaving(QWidget* tab) {
    auto* layout = new QHBoxLayout(tab);
    const int key = setupKeyIndex("POWSET");
    auto* frame = makeFrame(key, tab);
    layout->addWidget(frame, 0, Qt::AlignTop);
    layout->addStretch();
    // The user's click and an applied token have the same effect on the prefix box.
    QObject::connect(options_[key][0], &QRadioButton::clicked, frame,
                     [this] { powerSavingChosen(true); });
    QObject::connect(options_[key][1], &QRadioButton::clicked, frame,
                     [this] { powerSavingChosen(false); });
}

void SettingsWindow::buildRs232(QWidget* tab) {
    auto* grid = new QGridLayout(tab);
    auto* left = new QVBoxLayout;
    left->addWidget(makeFrame(setupKeyIndex("RSBITS"), tab));
    left->addWidget(makeFrame(setupKeyIndex("RSSTOP"), tab));
    left->addStretch();
    auto* middle = new QVBoxLayout;
    middle->addWidget(makeFrame(setupKeyIndex("RSPRTY"), tab));
    middle->addWidget(makeFrame(setupKeyIndex("RSCTSE"), tab));
    middle->addStretch();
    auto* right = new QVBoxLayout;
    right->addWidget(makeFrame(setupKeyIndex("RSBAUD"), tab));

    const int delayKey = setupKeyIndex("RSDELY");
    auto* delay = new QGroupBox(QStringLiteral("Character Delay"), tab);
    delay->setObjectName(QStringLiteral("FrameRSDELY"));
    frames_[delayKey] = delay;
    auto* delayRow = new QHBoxLayout(delay);
    Text10 = new QLineEdit(delay);
    Text10->setObjectName(QStringLiteral("Text10"));
    Text10->setMaxLength(kDelayMaxLength);
    Text10->setFixedWidth(Text10->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 16);
    delayRow->addWidget(Text10);
    auto* unit = new QLabel(QStringLiteral("msec"), delay);
    unit->setObjectName(QStringLiteral("Label9"));
    delayRow->addWidget(unit);
    delayRow->addStretch();
    right->addWidget(delay);
    right->addStretch();
    // Every character that is not a digit becomes 0 as the user types; the caret stays.
    QObject::connect(Text10, &QLineEdit::textEdited, Text10, [this] { Text10_KeyUp(*Text10); });

    grid->addLayout(left, 0, 0);
    grid->addLayout(middle, 0, 1);
    grid->addLayout(right, 0, 2);
    grid->setColumnStretch(3, 1);
}

void SettingsWindow::buildSpeaker(QWidget* tab) {
    auto* layout = new QHBoxLayout(tab);
    const int volume = setupKeyIndex("SPVOLU");
    layout->addWidget(makeFrame(volume, tab), 0, Qt::AlignTop);
    static const char* const kVolumePictures[] = {"volume_off", "volume_low", "volume_medium",
                                                  "volume_high"};
    for (int o = 0; o < 4; ++o) {
        options_[volume][o]->setIcon(artworkIcon(QString::fromLatin1(kVolumePictures[o])));
        options_[volume][o]->setIconSize(QSize(24, 24));
    }
    auto* beeps = new QVBoxLayout;
    for (const char* name : {"SPPOWB", "SPPARA"}) {
        const int key = setupKeyIndex(name);
        beeps->addWidget(makeFrame(key, tab));
        options_[key][0]->setIcon(artworkIcon(QStringLiteral("beep_on")));
        options_[key][1]->setIcon(artworkIcon(QStringLiteral("beep_off")));
        for (QRadioButton* b : options_[key])
            b->setIconSize(QSize(24, 24));
    }
    beeps->addStretch();
    layout->addLayout(beeps);
    layout->addStretch();
}

QPushButton* SettingsWindow::buildAffixEditor(QWidget* tab, int key, QLineEdit*& box,
                                              CharPicker& picker, const char* buttonName,
                                              const char* pickerName, const char* entriesName) {
    const SetupKey& k = setupKeys()[key];
    auto* frame = new QGroupBox(QString::fromLatin1(k.frame.data(), k.frame.size()), tab);
    frame->setObjectName(QStringLiteral("Frame") + QString::fromLatin1(k.key.data(), 6));
    frames_[key] = frame;
    auto* layout = new QVBoxLayout(frame);
    auto* row = new QHBoxLayout;
    box = new QLineEdit(frame);
    box->setObjectName(key == setupKeyIndex("PREFIX") ? QStringLiteral("Text2")
                                                      : QStringLiteral("Text3"));
    box->setMaxLength(kAffixMaxLength);
    QFont terminal(QStringLiteral("Terminal"));
    terminal.setStyleHint(QFont::TypeWriter);
    terminal.setFixedPitch(true);
    box->setFont(terminal);
    box->setMinimumWidth(box->fontMetrics().horizontalAdvance(QString(kAffixMaxLength, 'W')) / 2);
    row->addWidget(box, 1);
    auto* button = new QPushButton(QStringLiteral("CTRL CH"), frame);
    button->setObjectName(QString::fromLatin1(buttonName));
    button->setIcon(artworkIcon(QStringLiteral("ctrl_ch")));
    button->setIconSize(QSize(24, 24));
    row->addWidget(button);
    layout->addLayout(row);

    picker.frame = new QFrame(frame);
    picker.frame->setObjectName(QString::fromLatin1(pickerName));
    picker.frame->setFrameShape(QFrame::Box);
    auto* grid = new QGridLayout(picker.frame);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(2);
    const auto& codes = pickerCodes();
    for (int i = 0; i < static_cast<int>(codes.size()); ++i) {
        const int code = codes[i];
        auto* entry = new ClickLabel(QString::fromLatin1(controlCharName(code)), picker.frame);
        entry->setObjectName(QString::fromLatin1(entriesName) + QString::number(code));
        entry->setFrameShape(QFrame::Panel);
        entry->setFrameShadow(QFrame::Raised);
        entry->setAlignment(Qt::AlignCenter);
        entry->setMinimumWidth(entry->fontMetrics().horizontalAdvance(QStringLiteral("WWWW")));
        entry->setCursor(Qt::PointingHandCursor);
        grid->addWidget(entry, i % kPickerRows, i / kPickerRows);
        picker.entries[code] = entry;
    }
    picker.frame->hide();
    layout->addWidget(picker.frame, 0, Qt::AlignLeft);
    static_cast<QVBoxLayout*>(tab->layout())->addWidget(frame);
    (void)kPickerColumns;
    return button;
}

void SettingsWindow::buildPrefix(QWidget* tab) {
    auto* layout = column(tab);
    cmdCtrlPre = buildAffixEditor(tab, setupKeyIndex("PREFIX"), Text2, CharList, "cmdCtrlPre",
                                  "Symbol1", "CharList");
    auto* row = new QHBoxLayout;
    row->addWidget(makeFrame(setupKeyIndex("PRECID"), tab));
    row->addWidget(makeFrame(setupKeyIndex("SERIEN"), tab));
    row->addStretch();
    layout->addLayout(row);
    layout->addStretch();
}

void SettingsWindow::buildSuffix(QWidget* tab) {
    auto* layout = column(tab);
    cmdCtrlSuf = buildAffixEditor(tab, setupKeyIndex("SUFFIX"), Text3, CharList2, "cmdCtrlSuf",
                                  "Symbol2", "CharList2_");
    auto* row = new QHBoxLayout;
    row->addWidget(makeFrame(setupKeyIndex("SUFFCR"), tab));
    row->addStretch();
    layout->addLayout(row);
    layout->addStretch();
}

void SettingsWindow::buildLinear(QWidget* tab) {
    auto* layout = new QHBoxLayout(tab);
    auto* code39 = makeFrame(setupKeyIndex("CD39EN"), tab);
    // The start/stop choice sits inside the Code 39 frame.
    code39->layout()->addWidget(makeFrame(setupKeyIndex("CD39SS"), code39));
    layout->addWidget(code39, 0, Qt::AlignTop);
    layout->addWidget(makeFrame(setupKeyIndex("CD128E"), tab), 0, Qt::AlignTop);
    layout->addStretch();
}

void SettingsWindow::buildPdf417(QWidget* tab) {
    auto* layout = column(tab);
    auto* row = new QHBoxLayout;
    row->addWidget(makeFrame(setupKeyIndex("PDF417"), tab), 0, Qt::AlignTop);
    auto* noRead = makeFrame(setupKeyIndex("NOREAD"), tab);
    auto* note = new QLabel(
        QStringLiteral("No-Read Message apply to Linear Codes and Magnetic Strip Data"), noRead);
    note->setObjectName(QStringLiteral("Label10"));
    note->setWordWrap(true);
    noRead->layout()->addWidget(note);
    row->addWidget(noRead, 0, Qt::AlignTop);
    row->addStretch();
    layout->addLayout(row);
    layout->addStretch();
}

void SettingsWindow::buildMagnetic(QWidget* tab) {
    auto* layout = column(tab);
    auto* top = new QHBoxLayout;
    auto* tracks = new QGroupBox(QStringLiteral("Track Setting"), tab);
    tracks->setObjectName(QStringLiteral("FrameTracks"));
    auto* trackRow = new QHBoxLayout(tracks);
    for (const char* name : {"MAG1EN", "MAG2EN", "MAG3EN"})
        trackRow->addWidget(makeFrame(setupKeyIndex(name), tracks), 0, Qt::AlignTop);
    top->addWidget(tracks, 0, Qt::AlignTop);
    top->addStretch();
    layout->addLayout(top);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(makeFrame(setupKeyIndex("MAGLRC"), tab), 0, Qt::AlignTop);
    auto* raw = new QGroupBox(QStringLiteral("Raw Data Mode"), tab);
    raw->setObjectName(QStringLiteral("FrameRaw"));
    auto* rawLayout = new QVBoxLayout(raw);
    rawLayout->addWidget(makeFrame(setupKeyIndex("MAGRAW"), raw));
    bottom->addWidget(raw, 0, Qt::AlignTop);
    bottom->addStretch();
    layout->addLayout(bottom);
    layout->addStretch();
}

void SettingsWindow::buildRegistration(QWidget* tab) {
    auto* layout = new QHBoxLayout(tab);
    layout->addWidget(makeFrame(setupKeyIndex("REGIEN"), tab), 0, Qt::AlignTop);
    layout->addStretch();
}

void SettingsWindow::powerSavingChosen(bool enabled) {
    Text2->setEnabled(enabled);
    Text2->setReadOnly(!enabled);
}

int SettingsWindow::chosenOption(int key) const {
    const QButtonGroup* group = groups_[key];
    return group ? group->checkedId() : -1;
}

void SettingsWindow::chooseOption(int key, int option) {
    if (!groups_[key] || option < 0 || option >= static_cast<int>(options_[key].size()))
        return;
    options_[key][option]->setChecked(true);
    if (setupKeys()[key].key == "POWSET")
        powerSavingChosen(option == 0);
}

QLineEdit* SettingsWindow::box(SetupField field) const {
    switch (field) {
    case SetupField::Delay:
        return Text10;
    case SetupField::Prefix:
        return Text2;
    case SetupField::Suffix:
        return Text3;
    case SetupField::None:
        break;
    }
    return nullptr;
}

std::string SettingsWindow::text(SetupField field) const {
    const QLineEdit* b = box(field);
    return b ? b->text().toLatin1().toStdString() : std::string();
}

void SettingsWindow::setText(SetupField field, const std::string& text) {
    if (QLineEdit* b = box(field))
        b->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()))
                       .left(fieldMaxLength(field)));
}

} // namespace tcu::settings
