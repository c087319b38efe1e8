// A host without a widget application (a console program, a service): the control's
// windowed pieces refuse cleanly instead of crashing the host.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "control/object/prop_page.h"
#include "control/object/vort_ctrl.h"
#include "platform/component/dispatch_proxy.h"
#include "platform/component/error.h"
#include "platform/component/property_page.h"
#include "vort/dispids.h"

using namespace vort;
using component::Ref;

TEST(WindowlessHost, AboutBoxPageAndViewRefuseWithoutWidgets) {
    int argc = 1;
    char name[] = "windowless";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    Ref<CVortCtrl> ctl = Ref<CVortCtrl>::adopt(new CVortCtrl());
    ctl->initNew();
    component::DispatchProxy proxy(
        Ref<component::Dispatch>(static_cast<component::Dispatch*>(ctl.get())));
    try {
        proxy.call(kDispAboutBox);
        ADD_FAILURE() << "AboutBox must fail without a widget application";
    } catch (const component::ComponentError& e) {
        EXPECT_EQ(e.number(), 5);
        EXPECT_NE(e.description().find("widget application"), std::string::npos) << e.description();
    }
    int parent = 0; // any non-null pointer: it must not be used
    EXPECT_EQ(static_cast<component::ControlView&>(*ctl).createView(&parent), nullptr);

    Ref<component::PropertyPage> page =
        Ref<component::Unknown>::adopt(createVortPropPage()).query<component::PropertyPage>();
    ASSERT_TRUE(page);
    page->setObject(static_cast<component::Dispatch*>(ctl.get()));
    EXPECT_EQ(page->createWidget(&parent), nullptr);
    EXPECT_FALSE(page->isDirty());
    EXPECT_EQ(page->apply(nullptr), component::kOk);
    page->setObject(nullptr);
}
