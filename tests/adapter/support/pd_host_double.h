// A small stand-in for the Pd calls the adapter makes. It records posts,
// errors, inlets, outlets and their messages, and the DSP chain, so that the
// adapter can be driven in-process: create objects, send messages, start DSP
// and run perform routines.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "m_pd.h"

namespace host {

struct OutletMessage {
    int outlet = -1;  // index among the object's outlets
    std::string selector;
    std::vector<t_atom> atoms;
    float floatAt(std::size_t i) const { return atoms.at(i).a_w.w_float; }
    std::string symbolAt(std::size_t i) const { return atoms.at(i).a_w.w_symbol->s_name; }
};

struct PerformCall {
    t_perfroutine routine = nullptr;
    std::vector<t_int> args;
};

struct Ports {
    int signalInlets = 0;
    std::vector<t_symbol*> outletTypes;  // null for a message outlet
};

struct Record {
    std::vector<std::string> posts;
    std::vector<std::string> errors;
    std::vector<OutletMessage> messages;
    std::vector<PerformCall> chain;
    std::map<const t_object*, Ports> ports;
    std::vector<std::string> methodSelectors;        // selectors registered with class_addmethod
    std::vector<t_atomtype> methodFirstArgTypes;     // their first argument type
    bool anythingRegistered = false;
    int classFlags = -1;
    std::size_t classSize = 0;
    std::string className;
    t_newmethod creator = nullptr;
    t_method destructor = nullptr;
    int multioutCalls = 0;
};

Record& record();
void reset();  // forgets everything recorded (the interned symbols stay)

// Frees an object as Pd does: destructor, then the record's memory.
void deleteObject(void* object);

// Runs every perform routine in the chain once (one block) and keeps the chain.
void runChain();

// Signals for a "dsp" call. Owned by the pool; freed by reset().
t_signal* makeSignal(int length, float rate, int channels = 1);

// Atoms.
t_atom floatAtom(float f);
t_atom symbolAtom(const char* s);
t_atom atomOfType(t_atomtype type, float f);

}  // namespace host
