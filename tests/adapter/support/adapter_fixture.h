// Drives the adapter built around the probe kernel against the host double.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "adapter/quill_object.h"
#include "tests/adapter/support/failing_memory.h"
#include "tests/adapter/support/host_fixture.h"
#include "tests/adapter/support/pd_host_double.h"

class AdapterTest : public HostTest {
protected:
    static probe* kernel(t_quill* x) { return static_cast<probe*>(x->kernel); }

    // Signals of one DSP start, laid out as Pd hands them to this object:
    // its signal inlets left to right, then its signal outlets.
    std::vector<t_signal*> startDsp(t_quill* x, int n, float rate, int inputChannels = 1)
    {
        std::vector<t_signal*> sp;
        const host::Ports& ports = host::record().ports[&x->x_obj];
        for (int i = 0; i < ports.signalInlets + (QUILL_LEVELER_REVISION ? 0 : 1); ++i)
            sp.push_back(host::makeSignal(n, rate, inputChannels));
        for (t_symbol* type : ports.outletTypes)
            if (type == &s_signal) sp.push_back(host::makeSignal(n, rate, 1));
        sp.push_back(nullptr);
        host::record().chain.clear();
        quill_dsp(x, sp.data());
        return sp;
    }
};
