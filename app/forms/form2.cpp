#include "app/forms/form2.h"

#include <QLayout>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

#include "app/forms/twips.h"

namespace tcu {

namespace {

QPixmap aboutPicture() {
    QPixmap picture(kAboutPictureSize);
    picture.fill(Qt::transparent);
    QSvgRenderer renderer(QStringLiteral(":/tcu/artwork/about.svg"));
    QPainter painter(&picture);
    renderer.render(&painter);
    return picture;
}

} // namespace

Form2::Form2(QWidget* parent) : QDialog(parent) {
    setupUi(this);
    Image1->setPixmap(aboutPicture());
    // A progress display must not block the main window while the detection runs.
    setModal(false);
    connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
    Form_Load();
}

void Form2::Command3_Click() {
    Command3->setVisible(false);
    Label2->setVisible(true);
    Label3->setVisible(true);
    hide();
}

void Form2::Form_Load() {
    // A fixed window around its picture, following what the About view and the
    // detection show in it.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    adjustSize();
    centreOnScreen(this);
}

} // namespace tcu
