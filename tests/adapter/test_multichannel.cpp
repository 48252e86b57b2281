// The leveler revision's "-m" mode: one inlet and one outlet carrying every
// channel, with zeros for the channels a narrower input lacks.
#include "tests/adapter/support/adapter_fixture.h"

#if QUILL_LEVELER_REVISION && defined(QUILL_HOST_HAS_MULTIOUT)

// The host double keeps channel counts in t_signal's s_nchans, which only a
// Pd 0.54 or later header declares.
#if QUILL_HEADER_HAS_MULTICHANNEL
TEST_F(AdapterTest, OneChannelIntoTwoKernelInputsReadsSilenceForTheSecond)
{
    t_quill* x = create({host::symbolAtom("-m")});
    ASSERT_TRUE(x->multi);
    std::vector<t_signal*> sp = startDsp(x, 8, 44100, 1);
    EXPECT_EQ(host::record().multioutCalls, 1);
    ASSERT_EQ(sp[1]->s_nchans, PROBE_OUTPUTS);
    EXPECT_EQ(x->inputs[0], sp[0]->s_vec);
    EXPECT_EQ(x->inputs[1], x->silence);
    for (int j = 0; j < 8; ++j) sp[0]->s_vec[j] = static_cast<float>(j);
    host::runChain();
    for (int j = 0; j < 8; ++j) {
        EXPECT_EQ(sp[1]->s_vec[j], static_cast<float>(j) + 0.5f + static_cast<float>(j));
        EXPECT_EQ(sp[1]->s_vec[8 + j], 0.0f + 0.5f + 1.0f + static_cast<float>(j));  // input 1 is silence
    }
}

TEST_F(AdapterTest, TwoChannelsFeedTwoInputsAndExtraChannelsAreIgnored)
{
    t_quill* x = create({host::symbolAtom("-m")});
    std::vector<t_signal*> sp = startDsp(x, 4, 44100, 3);
    EXPECT_EQ(x->inputs[0], sp[0]->s_vec);
    EXPECT_EQ(x->inputs[1], sp[0]->s_vec + 4);
    EXPECT_EQ(x->outputs[1], sp[1]->s_vec + 4);
}
#else
TEST_F(AdapterTest, ChannelCountsOfMultichannelInputs)
{
    GTEST_SKIP() << "built against Pd " << PD_MAJOR_VERSION << "." << PD_MINOR_VERSION << "." << PD_BUGFIX_VERSION
                 << "'s m_pd.h, whose t_signal has no s_nchans for the host double to fill: "
                    "build against Pd 0.54 or later, or see the leveler~ -m tests in real Pd 0.55.2";
}
#endif

TEST_F(AdapterTest, SingleChannelObjectsOnAMultichannelHostGetOneChannelOutlets)
{
    t_quill* x = create();
    std::vector<t_signal*> sp = startDsp(x, 4, 44100, 2);
    EXPECT_EQ(host::record().multioutCalls, PROBE_OUTPUTS);
    EXPECT_EQ(x->inputs[0], sp[0]->s_vec);  // first channel only
    EXPECT_EQ(x->inputs[1], sp[1]->s_vec);
    EXPECT_EQ(x->outputs[0], sp[2]->s_vec);
}

TEST_F(AdapterTest, SilenceIsRenewedOnEveryStartWithoutGrowth)
{
    t_quill* x = create({host::symbolAtom("-m")});
    startDsp(x, 8, 44100, 1);
    const long held = failing_memory::liveBlocks();
    for (int i = 0; i < 20; ++i) startDsp(x, 8, 44100, 1);
    EXPECT_EQ(failing_memory::liveBlocks(), held);
}

#endif
