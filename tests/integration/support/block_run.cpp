#include "tests/integration/support/block_run.h"

#include <stdexcept>

#include "tests/integration/support/temp_dir.h"
#include "tests/integration/support/wav_reader.h"

namespace quill::pdtest {
namespace {

const char* const kStartReceiver = "quill-rec-start";
const char* const kFileReceiver = "quill-soundfiler";

}  // namespace

std::vector<std::string> RunResult::printed(const std::string& tag) const
{
    std::vector<std::string> out;
    const std::string prefix = tag + ":";
    for (const std::string& line : pd.lines()) {
        if (line.compare(0, prefix.size(), prefix) != 0) continue;
        std::string rest = line.substr(prefix.size());
        if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
        out.push_back(rest);
    }
    return out;
}

BlockRun::BlockRun(Canvas& patch, int blocks) : top_(patch), blocks_(blocks)
{
    if (blocks < 1) throw std::invalid_argument("BlockRun: at least one block");
}

int BlockRun::record(Canvas& where, int object, int outlet)
{
    const std::string array = "quill-rec" + std::to_string(arrays_.size());
    top_.obj("table " + array + " " + std::to_string(blocks_ * kBlockSize));
    const int writer = where.obj("tabwrite~ " + array);
    const int start = where.obj(std::string("r ") + kStartReceiver);
    where.connect(object, outlet, writer, 0);
    where.connect(start, 0, writer, 0);
    arrays_.push_back(array);
    return int(arrays_.size()) - 1;
}

std::string BlockRun::receiverFor(Canvas& where, int object)
{
    auto key = std::make_pair(static_cast<const Canvas*>(&where), object);
    auto found = receivers_.find(key);
    if (found != receivers_.end()) return found->second;
    const std::string name = "quill-to" + std::to_string(receivers_.size());
    const int r = where.obj("r " + name);
    where.connect(r, 0, object, 0);
    receivers_[key] = name;
    return name;
}

void BlockRun::send(int block, Canvas& where, int object, const std::string& message)
{
    sendTo(block, receiverFor(where, object), message);
}

void BlockRun::sendTo(int block, const std::string& receiver, const std::string& message)
{
    if (block < 0 || block >= blocks_)
        throw std::out_of_range("BlockRun: block " + std::to_string(block) + " outside the run");
    events_[block].push_back(receiver + " " + message);
}

void BlockRun::printReplies(Canvas& where, int object, const std::string& tag)
{
    const int p = where.obj("print " + tag);
    where.connect(object, 0, p, 0);
}

RunResult BlockRun::run(const PdSetup& setup, int sampleRate, double timeoutSeconds)
{
    if (ran_) throw std::logic_error("BlockRun: already run");
    ran_ = true;
    TempDir dir;
    const std::string wav = dir.file("recording.wav");

    // Start: recorders armed, DSP on, then the messages for block 0. (A
    // message to a receiver that does not exist would end the box early.)
    std::string start;
    if (!arrays_.empty()) start = std::string("; ") + kStartReceiver + " bang";
    start += "; pd dsp 1";
    for (const std::string& e : events_[0]) start += "; " + e;
    const int load = top_.obj("loadbang");
    const int startMsg = top_.msg(start);
    top_.connect(load, 0, startMsg, 0);

    // Block counter: [bang~] after block k outputs k; its messages are those
    // for block k + 1, and after the last block the files and the quit.
    const int tick = top_.obj("bang~");
    const int count = top_.obj("f");
    const int inc = top_.obj("+ 1");
    top_.connect(tick, 0, count, 0);
    top_.connect(count, 0, inc, 0);
    top_.connect(inc, 0, count, 1);

    std::vector<std::pair<int, std::string>> boxes;  // counter value, message box text
    for (const auto& [block, lines] : events_) {
        if (block == 0) continue;
        std::string text;
        for (const std::string& e : lines) text += "; " + e;
        boxes.emplace_back(block - 1, text);
    }
    std::string finish;
    if (!arrays_.empty()) {
        finish = std::string("; ") + kFileReceiver + " write -bytes " + std::to_string(sampleBytes_) + " " + wav;
        for (const std::string& a : arrays_) finish += " " + a;
        const int recv = top_.obj(std::string("r ") + kFileReceiver);
        const int filer = top_.obj("soundfiler");
        top_.connect(recv, 0, filer, 0);
    }
    finish += "; pd quit";
    boxes.emplace_back(blocks_ - 1, finish);

    std::string selector = "sel";
    for (const auto& b : boxes) selector += " " + std::to_string(b.first);
    const int sel = top_.obj(selector);
    top_.connect(count, 0, sel, 0);
    for (size_t i = 0; i < boxes.size(); ++i) {
        const int box = top_.msg(boxes[i].second);
        top_.connect(sel, int(i), box, 0);
    }

    const std::string patchPath = dir.file("run.pd");
    top_.save(patchPath);

    RunResult result;
    result.patch = top_.text();
    PdRunOptions options;
    options.sampleRate = sampleRate;
    options.timeoutSeconds = timeoutSeconds;
    result.pd = runPd(setup, patchPath, options);
    if (!arrays_.empty()) {
        try {
            WavData data = readWav(wav);
            result.channels = std::move(data.channels);
            result.doubles = std::move(data.doubles);
            result.wavSampleRate = data.sampleRate;
        } catch (const std::exception&) {
            // No file: the run failed; the caller sees empty channels and the console.
        }
    }
    return result;
}

}  // namespace quill::pdtest
