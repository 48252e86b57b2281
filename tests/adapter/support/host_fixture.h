// A fresh host double with the plug-in set up, for each test; the objects a
// test creates are deleted after it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "adapter/quill_object.h"
#include "tests/adapter/support/failing_memory.h"
#include "tests/adapter/support/pd_host_double.h"

extern "C" void QUILL_SETUP_ENTRY(void);

class HostTest : public ::testing::Test {
protected:
    std::vector<t_quill*> objects;

    void SetUp() override
    {
        host::reset();
        failing_memory::failAt(0);
        QUILL_SETUP_ENTRY();
    }

    void TearDown() override
    {
        for (t_quill* x : objects) host::deleteObject(x);
        failing_memory::failAt(0);
    }

    t_quill* create(std::vector<t_atom> args = {})
    {
        auto* x = static_cast<t_quill*>(
            quill_new(gensym(QUILL_CLASS_NAME), static_cast<int>(args.size()), args.data()));
        objects.push_back(x);
        return x;
    }

    void destroy(t_quill* x)
    {
        host::deleteObject(x);
        objects.erase(std::find(objects.begin(), objects.end(), x));
    }

    static void send(t_quill* x, const char* selector, std::vector<t_atom> args = {})
    {
        quill_any(x, gensym(selector), static_cast<int>(args.size()), args.data());
    }
};
