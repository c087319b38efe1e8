// The property page "General": its fields and labels, each field's check on apply,
// nothing written when a field fails or the control refuses a value, values the
// control holds beyond the page's limits left alone, and the page and its widget
// outliving each other.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QWidget>
#include <memory>

#include "control/object/dialog_units.h"
#include "control/object/prop_page.h"
#include "control/object/vort_ctrl.h"
#include "platform/component/module.h"
#include "support/qt_app_environment.h"
#include "support/test_site.h"
#include "tests/control/ui/recording_dispatch.h"
#include "vort/dispids.h"

using namespace vort;
using component::PropertyPage;
using component::Ref;
using component::Variant;

namespace {

class PropPage : public ::testing::Test {
protected:
    void SetUp() override {
        site_.runMode = false; // a page is used while the control is designed
        ctl_ = Ref<CVortCtrl>::adopt(new CVortCtrl());
        ctl_->setSite(&site_);
        ctl_->initNew();
        rec_ = std::make_unique<test::RecordingDispatch>(static_cast<component::Dispatch&>(*ctl_));
        page_ = Ref<component::Unknown>::adopt(createVortPropPage()).query<PropertyPage>();
        ASSERT_TRUE(page_);
    }
    void TearDown() override {
        page_.reset();
        EXPECT_EQ(rec_->refs_, 0u) << "the page keeps a reference to its object";
        ctl_->setSite(nullptr);
    }

    // Attaches the page to the control (through the recorder) and makes its widget.
    QWidget* open() {
        page_->setObject(rec_.get());
        widget_ = static_cast<QWidget*>(page_->createWidget(&host_));
        return widget_;
    }
    QLineEdit* field(const char* property) {
        return host_.findChild<QLineEdit*>(QString::fromLatin1(property));
    }
    void type(const char* property, const QString& text) {
        QLineEdit* f = field(property);
        ASSERT_NE(f, nullptr) << property;
        f->setText(text);
    }
    int32_t apply(std::string* error = nullptr) {
        std::string e;
        const int32_t r = page_->apply(&e);
        if (error)
            *error = e;
        return r;
    }
    Variant get(int32_t dispid) {
        Variant v;
        EXPECT_TRUE(static_cast<component::Dispatch&>(*ctl_)
                        .invoke(dispid, component::InvokeKind::PropertyGet, {}, &v)
                        .ok());
        return v;
    }
    int32_t getInt(int32_t dispid) {
        int32_t n = 0;
        EXPECT_TRUE(get(dispid).toI4(n));
        return n;
    }
    std::u16string getText(int32_t dispid) { return get(dispid).text(); }
    void put(int32_t dispid, Variant v) {
        std::array<Variant, 1> args{std::move(v)};
        ASSERT_TRUE(static_cast<component::Dispatch&>(*ctl_)
                        .invoke(dispid, component::InvokeKind::PropertyPut, args, nullptr)
                        .ok());
    }

    test::TestSite site_;
    Ref<CVortCtrl> ctl_;
    std::unique_ptr<test::RecordingDispatch> rec_;
    Ref<PropertyPage> page_;
    QWidget host_;
    QWidget* widget_ = nullptr;
};

} // namespace

TEST_F(PropPage, ShowsTheTenGeneralFieldsWithTheControlsValues) {
    EXPECT_EQ(page_->caption(), u"General");
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(widget_->parent(), &host_);

    const std::pair<const char*, const char*> expected[] = {
        {"CommPort", "2"},
        {"Settings", "57600,N,8,1"},
        {"InBufferSize", "2048"},
        {"OutBufferSize", "1536"},
        {"RThreshold", "1"},
        {"SThreshold", "1"},
        {"ModemTimeout", "60"},
        {"ModemInitString", "ATE0L1M0Q0V1&C1&D2&S1"},
        {"ModemAnswerString", "ATA"},
        {"ModemPhoneNumber", ""},
    };
    const char* labels[] = {"CommPort",     "Settings",   "InBufferSize",  "OutBufferSize",
                            "RThreshold",   "SThreshold", "Modem timeout", "Modem Initialize",
                            "Modem Answer", "Phone no."};
    ASSERT_EQ(propPageFields().size(), 10u);
    for (size_t i = 0; i < 10; ++i) {
        const PropPageField& f = propPageFields()[i];
        EXPECT_STREQ(f.property, expected[i].first);
        EXPECT_STREQ(f.label, labels[i]);
        QLineEdit* edit = field(f.property);
        ASSERT_NE(edit, nullptr) << f.property;
        EXPECT_EQ(edit->text(), QString::fromLatin1(expected[i].second)) << f.property;
        auto* label = host_.findChild<QLabel*>(QStringLiteral("label") + QLatin1String(f.property));
        ASSERT_NE(label, nullptr) << f.property;
        EXPECT_EQ(label->text(), QString::fromLatin1(labels[i]));
        EXPECT_EQ(label->buddy(), edit);
    }
    // 250 x 122 dialog units in the page's font: wider than high, room for the fields.
    EXPECT_EQ(widget_->size(), dialogUnitsToPixels(widget_->font(), 250, 122));
    EXPECT_GT(widget_->width(), 300);
    EXPECT_GT(widget_->height(), 150);
    EXPECT_LT(widget_->height(), widget_->width());
    EXPECT_FALSE(page_->isDirty());
    EXPECT_TRUE(rec_->puts.empty()) << "showing the page writes nothing";
}

TEST_F(PropPage, EachIntegerFieldKeepsItsRange) {
    open();
    for (const PropPageField& f : propPageFields()) {
        if (!f.integer)
            continue;
        SCOPED_TRACE(f.property);
        const int32_t before = getInt(f.dispid);
        // Just outside either end, and texts that are no integers.
        for (const QString& bad :
             {QString::number(f.min - 1), QString::number(f.max + 1), QStringLiteral("abc"),
              QString(), QStringLiteral("1.5"), QStringLiteral("0x10"),
              QStringLiteral("99999999999999999999"), QStringLiteral("2 3")}) {
            type(f.property, bad);
            std::string error;
            EXPECT_EQ(apply(&error), component::kInvalidArg) << bad.toStdString();
            EXPECT_NE(error.find(f.label), std::string::npos) << error;
            const std::string range =
                "from " + std::to_string(f.min) + " to " + std::to_string(f.max);
            EXPECT_NE(error.find(range), std::string::npos) << error;
            EXPECT_TRUE(rec_->puts.empty()) << bad.toStdString();
            EXPECT_EQ(getInt(f.dispid), before);
            EXPECT_TRUE(page_->isDirty());
        }
        // Both ends are taken and reach the control; blanks around a number are fine.
        for (int32_t good : {f.min, f.max}) {
            type(f.property, QStringLiteral(" %1 ").arg(good));
            EXPECT_EQ(apply(), component::kOk) << good;
            // The control keeps its own rules: a modem time-out is at least 2 s.
            if (f.dispid == kDispModemTimeout && good == 1)
                good = 2;
            EXPECT_EQ(getInt(f.dispid), good);
            ASSERT_FALSE(rec_->puts.empty());
            EXPECT_EQ(rec_->puts.back().dispid, f.dispid);
            EXPECT_FALSE(page_->isDirty());
            EXPECT_EQ(field(f.property)->text(), QString::number(good)) << "re-read after apply";
            rec_->puts.clear();
        }
    }
}

TEST_F(PropPage, EachTextFieldKeepsItsLength) {
    open();
    for (const PropPageField& f : propPageFields()) {
        if (f.integer)
            continue;
        SCOPED_TRACE(f.property);
        // Settings must also parse: blanks before the baud are allowed and dropped.
        const bool settings = f.dispid == kDispSettings;
        const auto text = [&](int n) {
            return settings ? QString(n - 12, QLatin1Char(' ')) + QStringLiteral("115200,N,8,1")
                            : QString(n, QLatin1Char('7'));
        };
        // The edit limit is the length check; a longer text set by a program still
        // fails the check rather than being cut short.
        EXPECT_EQ(field(f.property)->maxLength(), f.maxLength);
        field(f.property)->setMaxLength(32767);
        type(f.property, text(f.maxLength + 1));
        std::string error;
        EXPECT_EQ(apply(&error), component::kInvalidArg);
        EXPECT_NE(error.find(f.label), std::string::npos) << error;
        EXPECT_NE(error.find("at most " + std::to_string(f.maxLength)), std::string::npos) << error;
        EXPECT_TRUE(rec_->puts.empty());

        type(f.property, text(f.maxLength));
        EXPECT_EQ(apply(&error), component::kOk) << error;
        ASSERT_EQ(rec_->puts.size(), 1u);
        EXPECT_EQ(getText(f.dispid),
                  settings ? u"115200,N,8,1" : text(f.maxLength).toStdU16String());
        rec_->puts.clear();
    }
}

TEST_F(PropPage, AFailingFieldStopsEveryWrite) {
    open();
    type("CommPort", "5");
    type("Settings", "9600,N,8,1");
    type("OutBufferSize", "511");
    type("ModemPhoneNumber", "0123");
    std::string error;
    EXPECT_EQ(apply(&error), component::kInvalidArg);
    EXPECT_NE(error.find("OutBufferSize"), std::string::npos) << error;
    EXPECT_NE(error.find("from 512 to 32000"), std::string::npos) << error;
    EXPECT_TRUE(rec_->puts.empty());
    EXPECT_EQ(getInt(kDispCommPort), 2);
    EXPECT_EQ(getText(kDispSettings), u"57600,N,8,1");
    EXPECT_EQ(getText(kDispModemPhoneNumber), u"");
    // The first failing field in the page's order is the one reported.
    type("CommPort", "0");
    EXPECT_EQ(apply(&error), component::kInvalidArg);
    EXPECT_EQ(error.rfind("CommPort", 0), 0u) << error;
}

TEST_F(PropPage, ARefusedValuePutsBackWhatWasAlreadyWritten) {
    open();
    type("CommPort", "5");
    type("Settings", "9600,X,8,1"); // short enough for the page; the control refuses it
    type("RThreshold", "9");
    std::string error;
    const int32_t r = apply(&error);
    EXPECT_EQ(static_cast<uint32_t>(r), 0x800A017Cu);
    EXPECT_NE(error.find("Settings"), std::string::npos) << error;
    EXPECT_NE(error.find("380"), std::string::npos) << error;
    EXPECT_EQ(getInt(kDispCommPort), 2);
    EXPECT_EQ(getText(kDispSettings), u"57600,N,8,1");
    EXPECT_EQ(getInt(kDispRThreshold), 1) << "fields after the refused one are not written";
    ASSERT_EQ(rec_->puts.size(), 3u);
    EXPECT_EQ(rec_->puts[0].dispid, kDispCommPort);
    EXPECT_EQ(rec_->puts[1].dispid, kDispSettings);
    EXPECT_EQ(rec_->puts[2].dispid, kDispCommPort); // put back
    int32_t restored = 0;
    EXPECT_TRUE(rec_->puts[2].value.toI4(restored));
    EXPECT_EQ(restored, 2);
    EXPECT_TRUE(page_->isDirty()) << "the user's text stays for correction";
}

TEST_F(PropPage, ValuesBeyondThePagesLimitsSurviveAnApplyOfAnotherField) {
    const std::u16string longInit(80, u'E');
    put(kDispCommPort, Variant::i2(200));
    put(kDispModemInitString, Variant::bstr(longInit));
    open();
    EXPECT_EQ(field("CommPort")->text(), QStringLiteral("200"));
    EXPECT_EQ(field("ModemInitString")->text().size(), 80) << "shown whole, not cut to 60";
    type("RThreshold", "12");
    std::string error;
    EXPECT_EQ(apply(&error), component::kOk) << error;
    ASSERT_EQ(rec_->puts.size(), 1u);
    EXPECT_EQ(rec_->puts[0].dispid, kDispRThreshold);
    EXPECT_EQ(getInt(kDispCommPort), 200);
    EXPECT_EQ(getText(kDispModemInitString), longInit);
    EXPECT_EQ(getInt(kDispRThreshold), 12);
    // Once the user edits such a field, its check applies.
    type("ModemInitString", QString(79, QLatin1Char('E')));
    EXPECT_EQ(apply(&error), component::kInvalidArg);
    EXPECT_NE(error.find("Modem Initialize"), std::string::npos) << error;
}

TEST_F(PropPage, ApplyShowsWhatTheControlMadeOfTheValues) {
    open();
    type("Settings", "9600,e,7,2");
    EXPECT_TRUE(page_->isDirty());
    EXPECT_EQ(apply(), component::kOk);
    EXPECT_EQ(field("Settings")->text(), QStringLiteral("9600,E,7,2"));
    EXPECT_EQ(getText(kDispSettings), u"9600,E,7,2");
    EXPECT_FALSE(page_->isDirty());
    // An apply with nothing changed writes nothing.
    rec_->puts.clear();
    EXPECT_EQ(apply(), component::kOk);
    EXPECT_TRUE(rec_->puts.empty());
}

TEST_F(PropPage, PageAndWidgetOutliveEachOther) {
    // Without a widget the page has nothing changed to write.
    page_->setObject(rec_.get());
    EXPECT_FALSE(page_->isDirty());
    EXPECT_EQ(apply(), component::kOk);
    EXPECT_TRUE(rec_->puts.empty());

    // The widget made after attaching shows the values; gone, the page still works.
    auto* w = static_cast<QWidget*>(page_->createWidget(&host_));
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(field("CommPort")->text(), QStringLiteral("2"));
    field("CommPort")->setText(QStringLiteral("7"));
    delete w;
    EXPECT_FALSE(page_->isDirty());
    EXPECT_EQ(apply(), component::kOk);
    EXPECT_TRUE(rec_->puts.empty());

    // The page released first: its widget stays usable and keeps the library loaded.
    w = static_cast<QWidget*>(page_->createWidget(&host_));
    const uint32_t locks = component::moduleLockCount();
    page_.reset();
    EXPECT_EQ(component::moduleLockCount(), locks - 1) << "only the page's own lock went";
    EXPECT_EQ(host_.findChild<QLineEdit*>(QStringLiteral("CommPort"))->text(), QStringLiteral("2"));
    delete w;
    EXPECT_EQ(component::moduleLockCount(), locks - 2);
}

TEST_F(PropPage, NoObjectNoWrite) {
    std::string error;
    EXPECT_EQ(page_->apply(&error), component::kUnexpected);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(page_->apply(nullptr), component::kUnexpected);
    // Detaching lets go of the object.
    page_->setObject(rec_.get());
    EXPECT_EQ(rec_->refs_, 1u);
    page_->setObject(nullptr);
    EXPECT_EQ(rec_->refs_, 0u);
}

TEST_F(PropPage, OffersOnlyItsOwnInterfaces) {
    void* out = nullptr;
    EXPECT_EQ(page_->queryInterface(component::Dispatch::kIid, &out), component::kNoInterface);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(page_->queryInterface(component::Unknown::kIid, &out), component::kOk);
    EXPECT_EQ(out, static_cast<PropertyPage*>(page_.get()));
    page_->release();
}
