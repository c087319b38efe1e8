#include "app/identity/identity_fields.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/forms/form1.h"
#include "app/identity/identity_display.h"
#include "app/identity/revision_state.h"
#include "app/link/answer_rules.h"

namespace tcu {

namespace {

constexpr int kRegistrationKeyMaxLength = 30;

QLabel* makeField(QWidget* parent, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, QColor(0xE0, 0xE0, 0xE0));
    label->setPalette(palette);
    label->setMinimumWidth(160);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

IdentityFields::IdentityFields(Form1& form) : QObject(&form), form_(form) {
    buildRevisionTab(form.tabRevisionNumbers);
    buildRegistrationTab(form.tabRegistrationKey);
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });

    form.core().receiveIdentity.clearRevisions = [this] {
        for (int i = 0; i <= 3; ++i)
            labRevision[i]->clear();
    };
    form.core().receiveIdentity.serialNotSupported = [this] {
        Label4->setText(QString::fromLatin1(kNotSupported));
    };
    form.core().receiveIdentity.clearRegistrationEntry = [this] { Text5->clear(); };
}

void IdentityFields::buildRevisionTab(QWidget* tab) {
    auto* grid = new QGridLayout;
    struct Row {
        const char* caption;
        QLabel* field;
        bool shown;
    };
    for (int i = 0; i < static_cast<int>(labRevision.size()); ++i)
        labRevision[i] = makeField(tab, "labRevision");
    labWeb = makeField(tab, "labWeb");
    Label4 = makeField(tab, "Label4");
    const Row rows[] = {
        {"Boot", labRevision[0], false},
        {"Application 1", labRevision[1], true},
        {"Application 2", labRevision[2], true},
        {"Hardware", labRevision[3], true},
        {"Model", labRevision[4], true},
        {"Serial #", labRevision[5], false},
        {"Web Site", labWeb, true},
        {"Serial Number", Label4, true},
    };
    int line = 0;
    for (const Row& row : rows) {
        auto* caption = new QLabel(QString::fromLatin1(row.caption), tab);
        grid->addWidget(caption, line, 0);
        grid->addWidget(row.field, line, 1);
        caption->setVisible(row.shown);
        row.field->setVisible(row.shown);
        ++line;
    }
    grid->setColumnStretch(2, 1);
    // Above the spacer and the button row the form already holds.
    static_cast<QVBoxLayout*>(tab->layout())->insertLayout(0, grid);
}

void IdentityFields::buildRegistrationTab(QWidget* tab) {
    registrationFrame = new QGroupBox(QStringLiteral("Registration Key R/W"), tab);
    auto* frame = new QGridLayout(registrationFrame);
    Label5 = makeField(registrationFrame, "Label5");
    Text5 = new QLineEdit(registrationFrame);
    Text5->setObjectName(QStringLiteral("Text5"));
    Text5->setMaxLength(kRegistrationKeyMaxLength);
    Command1 = new QPushButton(QStringLiteral("Write"), registrationFrame);
    Command1->setObjectName(QStringLiteral("Command1"));
    frame->addWidget(Label5, 0, 0, 1, 2);
    frame->addWidget(Text5, 1, 0);
    frame->addWidget(Command1, 1, 1);
    // Beside the settings' own frame on this tab, ahead of its closing stretch.
    auto* row = static_cast<QBoxLayout*>(tab->layout());
    row->insertWidget(row->count() - 1, registrationFrame, 0, Qt::AlignTop);
}

void IdentityFields::registerDisplayRules(AnswerRules& rules) {
    rules.add(QStringLiteral("<APP1RV:>"), [this](const QString& answer) {
        if (!form_.core().QuietRevQuery)
            labRevision[1]->setText(RevisionCaption(answer));
    });
    rules.add(QStringLiteral("<APP2RV:>"),
              [this](const QString& answer) { labRevision[2]->setText(RevisionCaption(answer)); });
    rules.add(QStringLiteral("<HARDRV:>"),
              [this](const QString& answer) { labRevision[3]->setText(RevisionCaption(answer)); });
    rules.add(QStringLiteral("<FINGER:>"),
              [this](const QString& answer) { labRevision[4]->setText(ModelCaption(answer)); });
    rules.add(QStringLiteral("<WEBSIT:>"), [this](const QString& answer) {
        webAddress = answer;
        labWeb->setText(WebCaption(answer));
    });
    rules.add(QStringLiteral("<SERIAL:>"),
              [this](const QString& answer) { Label4->setText(answer); });
    rules.add(QStringLiteral("<REGKEY:>"),
              [this](const QString& answer) { Label5->setText(answer); });
}

void IdentityFields::Command1_Click() {
    if (form_.core().WriteRegistrationKey(Text5->text()) == KeyWrite::NotSupported)
        Text5->setText(QString::fromLatin1(kNotSupported));
}

} // namespace tcu
