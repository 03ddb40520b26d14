#include "tools/tandrel_sim.h"

#include <cmath>

#include "sim/app/plugin_registrant_model.h"
#include "sim/app/runner_model.h"

namespace simhost {

// ---- the window on the simulation ----------------------------------------------------------

void SimWindowHost::createFlutterViewController() {
  viewControllerCreated_ = true;
}

sim::app::Frame SimWindowHost::frame() {
  const sim::WindowState& w = world_.window();
  return {w.x, w.y, w.width, w.height};
}

void SimWindowHost::setContentViewController() {
  sim::WindowState& w = world_.window();
  w.hasContentViewController = true;
  w.width = kFlutterViewWidth;
  w.height = kFlutterViewHeight;
}

void SimWindowHost::setFrame(sim::app::Frame frame, bool) {
  sim::WindowState& w = world_.window();
  w.x = frame.x;
  w.y = frame.y;
  w.width = frame.width;
  w.height = frame.height;
}

void SimWindowHost::registerGeneratedPlugins() {
  sim::app::registerGeneratedPlugins(registry_);
}

void SimWindowHost::orderOut() {
  sim::WindowState& w = world_.window();
  w.visible = false;
  ++w.orderOutCount;
}

void startUp(SimWindowHost& host) {
  sim::app::awakeFromNib(host);
}

// ---- the script player on the simulation ---------------------------------------------------

void SimBackend::applyWorld(const Json& settings) {
  simhost::applyWorld(context_.world, settings);
}

void SimBackend::applyUserAction(const Json& action) {
  // Noted first, so that its effects follow it in the trace. An action is checked before it
  // changes anything, so one that fails leaves its note alone, and that goes too.
  sim::World& world = context_.world;
  const uint64_t mark = world.records().trace.total;
  note("user", action.dump(-1, ' ', false, Json::error_handler_t::replace));
  try {
    simhost::applyUserAction(context_, action);
  } catch (...) {
    world.forgetTraceSince(mark);
    throw;
  }
}

void SimBackend::advance(double seconds) {
  context_.world.advance(static_cast<sim::Micros>(std::llround(seconds * 1e6)));
}

Json SimBackend::show(std::string_view what) {
  return showWhat(context_, what);
}

void SimBackend::runPending() {
  context_.world.runPending();
}

void SimBackend::schedule(double seconds, bool fromNow, bool isWorld, Json change,
                          LateError lateError) {
  if (isWorld) checkWorld(context_.world, change);  // mistakes show now; the state is read then
  const sim::Micros offset = static_cast<sim::Micros>(std::llround(seconds * 1e6));
  const sim::Micros when = fromNow ? context_.world.now() + offset : offset;
  context_.world.at(when,
                    [this, isWorld, change = std::move(change), lateError = std::move(lateError)] {
                      try {
                        if (isWorld) {
                          simhost::applyWorld(context_.world, change);
                        } else {
                          applyUserAction(change);
                        }
                      } catch (const std::exception& e) {
                        // Found only when it was due (the state it needed was gone): reported then.
                        lateError(e.what(), context_.world.now());
                      }
                    });
}

void SimBackend::note(std::string_view kind, std::string_view text) {
  context_.world.note(std::string(kind), std::string(text));
}

ScriptRunner::ScriptRunner(SimContext context, std::ostream& out)
    : backend_(context), player_(context.messenger, backend_, out) {}

}  // namespace simhost
