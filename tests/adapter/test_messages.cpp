// Control messages: names and tails, reads and sets, "bang", "active".
#include "tests/adapter/support/adapter_fixture.h"

#include <cmath>

namespace {
const std::vector<host::OutletMessage>& replies() { return host::record().messages; }
}  // namespace

TEST_F(AdapterTest, BangDescribesEveryControlInTableOrder)
{
    t_quill* x = create();
    send(x, "gain", {host::floatAtom(2.5f)});
    send(x, "bang", {host::floatAtom(9)});  // arguments play no part
    ASSERT_EQ(replies().size(), 3u);
    const host::OutletMessage& slider = replies()[0];
    EXPECT_EQ(slider.outlet, 0);
    EXPECT_EQ(slider.selector, "hslider");
    ASSERT_EQ(slider.atoms.size(), 6u);
    EXPECT_EQ(slider.symbolAt(0), "/probe/gain");
    EXPECT_EQ(slider.floatAt(1), 2.5f);
    EXPECT_EQ(slider.floatAt(2), 1.0f);
    EXPECT_EQ(slider.floatAt(3), 0.0f);
    EXPECT_EQ(slider.floatAt(4), 10.0f);
    EXPECT_EQ(slider.floatAt(5), 0.1f);
    EXPECT_EQ(replies()[1].selector, "nentry");
    EXPECT_EQ(replies()[1].symbolAt(0), "/probe/sub-group/offset");
    EXPECT_EQ(replies()[2].selector, "button");
    EXPECT_EQ(replies()[2].symbolAt(0), "/probe/sub-group/gain");
    EXPECT_EQ(replies()[2].floatAt(2), 0.0f);
    EXPECT_EQ(replies()[2].floatAt(3), 0.0f);
    EXPECT_EQ(replies()[2].floatAt(4), 1.0f);
    EXPECT_EQ(replies()[2].floatAt(5), 1.0f);
}

TEST_F(AdapterTest, TailsOfWholeComponentsAddressControls)
{
    t_quill* x = create();
    for (const char* name : {"offset", "sub-group/offset", "probe/sub-group/offset", "/probe/sub-group/offset"}) {
        SCOPED_TRACE(name);
        host::record().messages.clear();
        send(x, name);
        ASSERT_EQ(replies().size(), 1u);
        EXPECT_EQ(replies()[0].selector, "/probe/sub-group/offset");
        EXPECT_EQ(replies()[0].floatAt(0), 0.5f);
    }
    host::record().messages.clear();
    for (const char* name : {"ffset", "Offset", "/offset", "/probe/sub-group/offset/", "group/offset", "volume"})
        send(x, name);
    EXPECT_TRUE(replies().empty());
    EXPECT_TRUE(host::record().errors.empty());
}

TEST_F(AdapterTest, SharedLastComponentServesBothAndALongerTailPicksOne)
{
    t_quill* x = create();
    send(x, "gain", {host::floatAtom(7)});
    EXPECT_EQ(kernel(x)->gain, 7.0f);
    EXPECT_EQ(kernel(x)->button, 7.0f);
    send(x, "sub-group/gain", {host::floatAtom(1)});
    EXPECT_EQ(kernel(x)->gain, 7.0f);
    EXPECT_EQ(kernel(x)->button, 1.0f);
    send(x, "gain");
    ASSERT_EQ(replies().size(), 2u);
    EXPECT_EQ(replies()[0].selector, "/probe/gain");
    EXPECT_EQ(replies()[1].selector, "/probe/sub-group/gain");
}

TEST_F(AdapterTest, ValuesAreStoredAsSentWithoutClampingOrRounding)
{
    t_quill* x = create();
    send(x, "gain", {host::floatAtom(50000.123f)});
    EXPECT_EQ(kernel(x)->gain, 50000.123f);
    send(x, "gain", {host::floatAtom(-1e30f)});
    EXPECT_EQ(kernel(x)->gain, -1e30f);
}

TEST_F(AdapterTest, BadControlArgumentsReportOncePerMatchAndChangeNothing)
{
    t_quill* x = create({host::symbolAtom("s1")});
    send(x, "offset", {host::floatAtom(1), host::floatAtom(2)});
    send(x, "offset", {host::symbolAtom("foo")});
    ASSERT_EQ(host::record().errors.size(), 2u);
    EXPECT_EQ(host::record().errors[0], "[quill] " QUILL_CLASS_NAME " s1: bad control argument: offset");
    EXPECT_EQ(kernel(x)->offset, 0.5f);
    host::record().errors.clear();
    send(x, "gain", {host::symbolAtom("%s%n")});
    ASSERT_EQ(host::record().errors.size(), 2u);  // two controls end in "gain"
    EXPECT_EQ(host::record().errors[1], "[quill] " QUILL_CLASS_NAME " s1: bad control argument: gain");
    send(x, "offset", {host::atomOfType(A_DEFFLOAT, 0.75f)});
    EXPECT_EQ(kernel(x)->offset, QUILL_LEVELER_REVISION ? 0.5f : 0.75f);
}

TEST_F(AdapterTest, EmptySelectorAddressesNothing)
{
    t_quill* x = create();
    send(x, "", {host::floatAtom(3)});
    send(x, "");
    EXPECT_EQ(kernel(x)->gain, 1.0f);
    EXPECT_TRUE(replies().empty());
}

TEST_F(AdapterTest, ActiveReadsAndSwitchesWithACrossfadeRestart)
{
    t_quill* x = create();
    send(x, "active");
    ASSERT_EQ(replies().size(), 1u);
    EXPECT_EQ(replies()[0].selector, "active");
    EXPECT_EQ(replies()[0].floatAt(0), 1.0f);

    struct Case {
        float sent;
        float readBack;
    };
#if QUILL_LEVELER_REVISION
    const Case cases[] = {{0.7f, 1.0f}, {0.0f, 0.0f}, {2.5f, 1.0f}, {-1.0f, 1.0f}, {NAN, 0.0f}};
#else
    const Case cases[] = {{0.7f, 0.0f}, {2.5f, 2.0f}, {-1.0f, -1.0f}, {0.0f, 0.0f}, {1.0f, 1.0f}};
#endif
    for (const Case& c : cases) {
        host::record().messages.clear();
        x->fade = 3;
        send(x, "active", {host::floatAtom(c.sent)});
        EXPECT_EQ(x->fade, 68);
        send(x, "active");
        ASSERT_EQ(replies().size(), 1u);
        EXPECT_EQ(replies()[0].floatAt(0), c.readBack) << c.sent;
    }
    // Wrong arguments do nothing and say nothing.
    x->fade = 0;
    send(x, "active", {host::symbolAtom("on")});
    send(x, "active", {host::floatAtom(1), host::floatAtom(1)});
    EXPECT_EQ(x->fade, 0);
    EXPECT_TRUE(host::record().errors.empty());
}
