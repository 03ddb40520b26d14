#include "sim/records.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/world.h"

namespace sim {
namespace {

TEST(RecentRecords, KeepTheNewestWindowAndCountEverything) {
  struct Case {
    size_t window;
    int pushes;
    std::vector<int> taken;
    uint64_t dropped;
  };
  const Case cases[] = {
      {3, 2, {0, 1}, 0}, {3, 3, {0, 1, 2}, 0}, {3, 5, {2, 3, 4}, 2}, {1, 4, {3}, 3}, {0, 4, {}, 4},
  };
  for (const Case& c : cases) {
    RecentRecords<int> record(c.window);
    for (int i = 0; i < c.pushes; ++i) record.push(i);
    EXPECT_EQ(record.dropped(), c.dropped) << c.window << "/" << c.pushes;
    EXPECT_EQ(record.take(), c.taken) << c.window << "/" << c.pushes;
    EXPECT_EQ(record.total(), static_cast<uint64_t>(c.pushes));
    EXPECT_EQ(record.dropped(), 0u) << "a take starts afresh";
    EXPECT_TRUE(record.take().empty());
  }
}

TEST(RecentRecords, ShrinkingTheWindowForgetsTheOldest) {
  RecentRecords<std::string> record(5);
  for (const char* s : {"a", "b", "c", "d"}) record.push(s);
  record.setWindow(2);
  EXPECT_EQ(record.dropped(), 2u);
  record.push("e");
  EXPECT_EQ(record.take(), (std::vector<std::string>{"d", "e"}));
  EXPECT_EQ(record.total(), 5u);
}

// The world's records of a long run: bounded windows, exact totals.
TEST(WorldRecords, PausesLogAndTraceKeepAWindowAndTheirTotals) {
  World world;
  world.setRecordWindow(4);
  for (uint32_t i = 1; i <= 10; ++i) {
    world.mainLoop().sleepMicroseconds(i);
    world.log().write("line " + std::to_string(i));
  }
  EXPECT_EQ(world.takePauses(), (std::vector<Micros>{7, 8, 9, 10}));
  EXPECT_EQ(world.takeLog(), (std::vector<std::string>{"line 7", "line 8", "line 9", "line 10"}));
  const Records r = world.records();
  EXPECT_EQ(r.window, 4u);
  EXPECT_EQ(r.pauses.total, 10u);
  EXPECT_EQ(r.pausedMicros, 55);
  EXPECT_EQ(r.log.total, 10u);
  EXPECT_EQ(r.trace.total, 20u) << "each sleep and each log line";
  EXPECT_EQ(r.trace.dropped, 16u);
  const std::vector<TraceEntry> trace = world.takeTrace();
  ASSERT_EQ(trace.size(), 4u);
  EXPECT_EQ(trace[0].kind, "sleep");
  EXPECT_EQ(trace[0].detail, "9 us");
  EXPECT_EQ(trace[0].time, 36) << "a sleep is noted when it starts";
  EXPECT_EQ(trace[3].kind, "log");
  EXPECT_EQ(trace[3].detail, "line 10");
  EXPECT_EQ(world.now(), 55);
}

}  // namespace
}  // namespace sim
