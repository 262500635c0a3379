#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/command_queue.h"

namespace {

// A runner whose first command sends two more from inside itself, as a plug-in's
// message loop would let them in; records what ran and how deeply.
struct Recorder {
    CommandQueue* queue;
    std::vector<std::string> ran;
    int depth = 0;
    int deepest = 0;
};

void Record(uint64_t code, const void* data, uint32_t byteCount, void* context) {
    auto* recorder = static_cast<Recorder*>(context);
    recorder->depth += 1;
    recorder->deepest = std::max(recorder->deepest, recorder->depth);
    const std::string payload = data != nullptr
                                    ? std::string(static_cast<const char*>(data), byteCount)
                                    : std::string("<none>");
    recorder->ran.push_back(std::to_string(code) + ":" + payload);
    if (code == 5) {
        std::string second = "inner";
        SubmitCommand(recorder->queue, 1, second.data(), 5, Record, context);
        second = "gone"; // the queued copy does not depend on the sender's buffer
        SubmitCommand(recorder->queue, 2, nullptr, 0, Record, context);
    }
    recorder->depth -= 1;
}

TEST(CommandQueue, ACommandArrivingInsideAnotherRunsAfterItInOrder) {
    CommandQueue queue = {};
    Recorder recorder{&queue, {}};
    SubmitCommand(&queue, 5, "outer", 5, Record, &recorder);
    EXPECT_EQ(recorder.ran, (std::vector<std::string>{"5:outer", "1:inner", "2:<none>"}));
    EXPECT_EQ(recorder.deepest, 1) << "no command ran inside another";
    EXPECT_FALSE(queue.running);

    // The queue is ready for the next command, run at once.
    SubmitCommand(&queue, 3, nullptr, 0, Record, &recorder);
    EXPECT_EQ(recorder.ran.back(), "3:<none>");
    EXPECT_EQ(queue.first, nullptr);
}

} // namespace
