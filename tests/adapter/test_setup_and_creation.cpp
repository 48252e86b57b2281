// Class registration, creation arguments, labels, ports, failure handling.
#include "tests/adapter/support/adapter_fixture.h"

#include <cmath>
#include <cstring>

TEST_F(AdapterTest, SetupRegistersTheClassOnceAndPostsItsCounts)
{
    const host::Record& r = host::record();
    EXPECT_EQ(r.className, QUILL_CLASS_NAME);
    EXPECT_EQ(r.classSize, sizeof(t_quill));
    EXPECT_TRUE(r.anythingRegistered);
    ASSERT_FALSE(r.methodSelectors.empty());
    EXPECT_EQ(r.methodSelectors[0], "dsp");
    EXPECT_EQ(r.methodFirstArgTypes[0], A_CANT);  // no patch message can reach it
    ASSERT_EQ(r.posts.size(), 1u);
    char expected[128];
    std::snprintf(expected, sizeof expected, "[quill] %s: %d inputs, %d outputs", QUILL_CLASS_NAME, PROBE_INPUTS,
                  PROBE_OUTPUTS);
    EXPECT_EQ(r.posts[0], expected);
    create();
    create();
    EXPECT_EQ(r.posts.size(), 1u);
#if QUILL_LEVELER_REVISION
    EXPECT_EQ(r.methodSelectors.size(), 1u);
#ifdef QUILL_HOST_HAS_MULTIOUT
    EXPECT_EQ(r.classFlags, 16);
#else
    EXPECT_EQ(r.classFlags, 0);
#endif
#else
    EXPECT_EQ(r.classFlags, 0);
    ASSERT_EQ(r.methodSelectors.size(), 2u);
    EXPECT_EQ(r.methodSelectors[1], "signal");
#endif
}

TEST_F(AdapterTest, ObjectWithoutArgumentsHasDefaultsAndPorts)
{
    t_quill* x = create();
    ASSERT_NE(x->kernel, nullptr);
    EXPECT_STREQ(x->label, QUILL_CLASS_NAME);
    EXPECT_EQ(x->n_fade, 68);
    EXPECT_EQ(x->fade, 0);
    EXPECT_NE(x->active, 0);
    EXPECT_EQ(kernel(x)->sampleRate, 44100);
#if QUILL_LEVELER_REVISION
    EXPECT_EQ(x->rate, 44100);
#else
    EXPECT_EQ(x->rate, -1);
#endif
    const host::Ports& ports = host::record().ports[&x->x_obj];
    EXPECT_EQ(ports.signalInlets, PROBE_INPUTS);
    ASSERT_EQ(ports.outletTypes.size(), 1u + PROBE_OUTPUTS);
    EXPECT_EQ(ports.outletTypes[0], nullptr);  // the control outlet comes first
    for (int i = 1; i <= PROBE_OUTPUTS; ++i) EXPECT_EQ(ports.outletTypes[i], &s_signal);
    EXPECT_EQ(x->registry->n_elems, 3);
}

TEST_F(AdapterTest, RateAndInstanceIdFromArguments)
{
    t_quill* x = create({host::floatAtom(48000), host::symbolAtom("voice1")});
    EXPECT_EQ(x->rate, 48000);
    EXPECT_EQ(x->n_fade, 75);
    EXPECT_STREQ(x->label, QUILL_CLASS_NAME " voice1");
    EXPECT_STREQ(x->registry->entries[0].full_name, "/voice1/probe/gain");
    EXPECT_EQ(kernel(x)->sampleRate, 48000);

    t_quill* y = create({host::floatAtom(22050.9f)});
    EXPECT_EQ(y->rate, 22050);
    EXPECT_EQ(y->n_fade, 34);

    t_quill* z = create({host::floatAtom(96000), host::symbolAtom("a"), host::symbolAtom("b")});
    EXPECT_EQ(z->n_fade, 150);
    EXPECT_STREQ(z->label, QUILL_CLASS_NAME " b");  // the last symbol wins

    // The fade is as long as at the highest rate a kernel runs at (0.1 s at
    // 1536000 Hz), not an hour's worth of blocks.
    for (float huge : {1e10f, 1536001.0f}) {
        t_quill* h = create({host::floatAtom(huge)});
        EXPECT_EQ(h->n_fade, 2400) << huge;
        startDsp(h, 64, 48000);
        EXPECT_EQ(h->n_fade, QUILL_LEVELER_REVISION ? 75 : 2400) << huge;
    }
}

TEST_F(AdapterTest, LastFloatWinsAndANonPositiveRateMeansNone)
{
    t_quill* x = create({host::floatAtom(48000), host::floatAtom(-3)});
    EXPECT_EQ(x->n_fade, 68);
    EXPECT_EQ(kernel(x)->sampleRate, 44100);
#if QUILL_LEVELER_REVISION
    EXPECT_EQ(x->rate, 44100);
#else
    EXPECT_EQ(x->rate, -3);
#endif
    t_quill* tiny = create({host::floatAtom(500)});
    EXPECT_EQ(tiny->n_fade, 0);  // below 640 Hz there is no crossfade
    t_quill* nan = create({host::floatAtom(NAN)});
    EXPECT_EQ(kernel(nan)->sampleRate, 44100);
}

TEST_F(AdapterTest, DefaultTaggedAtomsCountOnlyInTheEarlierRevision)
{
    t_quill* x = create({host::atomOfType(A_DEFFLOAT, 48000)});
#if QUILL_LEVELER_REVISION
    EXPECT_EQ(x->rate, 44100);
#else
    EXPECT_EQ(x->rate, 48000);
#endif
}

#if QUILL_LEVELER_REVISION
TEST_F(AdapterTest, FlagsAreReadOnlyAtTheFront)
{
    t_quill* x = create({host::symbolAtom("-x"), host::floatAtom(48000)});
    ASSERT_EQ(host::record().errors.size(), 1u);
    EXPECT_EQ(host::record().errors[0], QUILL_CLASS_NAME ": ignore unknown flag '-x");
    EXPECT_EQ(x->rate, 48000);
    EXPECT_FALSE(x->multi);

    t_quill* late = create({host::floatAtom(48000), host::symbolAtom("-m")});
    EXPECT_FALSE(late->multi);
    EXPECT_STREQ(late->label, QUILL_CLASS_NAME " -m");

    // "-m" consumes only itself: the atom after it is still read.
    t_quill* m = create({host::symbolAtom("-m"), host::floatAtom(96000), host::symbolAtom("id")});
    EXPECT_EQ(m->rate, 96000);
    EXPECT_STREQ(m->label, QUILL_CLASS_NAME " id");
#ifdef QUILL_HOST_HAS_MULTIOUT
    EXPECT_TRUE(m->multi);
    const host::Ports& ports = host::record().ports[&m->x_obj];
    EXPECT_EQ(ports.signalInlets, 1);
    EXPECT_EQ(ports.outletTypes.size(), 2u);
#else
    EXPECT_FALSE(m->multi);  // no multichannel host: an ordinary object
    EXPECT_EQ(host::record().ports[&m->x_obj].signalInlets, PROBE_INPUTS);
#endif
}

TEST_F(AdapterTest, FormatCharactersInFlagsAreShownNotInterpreted)
{
    create({host::symbolAtom("-%s%n%d")});
    ASSERT_EQ(host::record().errors.size(), 1u);
    EXPECT_EQ(host::record().errors[0], QUILL_CLASS_NAME ": ignore unknown flag '-%s%n%d");
}
#endif

// Every allocation made during creation, failed in turn, leaves an inert
// object that holds nothing and ignores every later call.
TEST_F(AdapterTest, EveryCreationAllocationFailureLeavesAnInertObject)
{
    failing_memory::failAt(1000);
    t_quill* probeObject = create({host::symbolAtom("id")});
    const int allocations = failing_memory::allocationsSinceArm();
    destroy(probeObject);
    ASSERT_GT(allocations, 4);
    for (int k = 1; k <= allocations; ++k) {
        SCOPED_TRACE(k);
        const long before = failing_memory::liveBlocks();
        failing_memory::failAt(k);
        t_quill* x = create({host::symbolAtom("id")});
        failing_memory::failAt(0);
        if (x->kernel == nullptr) {
            EXPECT_EQ(x->registry, nullptr);
            EXPECT_EQ(x->label, nullptr);
            EXPECT_EQ(x->inputs, nullptr);
            EXPECT_EQ(x->outputs, nullptr);
            EXPECT_EQ(x->scratch, nullptr);
            EXPECT_EQ(x->ctl_out, nullptr);
            EXPECT_EQ(host::record().ports[&x->x_obj].signalInlets, 0);
            EXPECT_EQ(failing_memory::liveBlocks(), before);
            std::vector<t_signal*> sp = startDsp(x, 64, 48000);
            EXPECT_TRUE(host::record().chain.empty());
            send(x, "gain", {host::floatAtom(2)});
            send(x, "bang");
            send(x, "active", {host::floatAtom(0)});
            EXPECT_TRUE(host::record().messages.empty());
        } else {
            // A failed name copy or table growth only drops that control's name.
            EXPECT_LE(x->registry->n_elems, 3);
        }
        destroy(x);
        EXPECT_EQ(failing_memory::liveBlocks(), before);
    }
}
