// Auto Layout of the largest trees it takes: n labels in a vertical chain (each one's top
// on the bottom of the one before, both sides pinned to the window), laid out from scratch.
// A chain is the worst shape for the solver: label i's position depends on the heights of
// all the labels above it, so the tableau holds about n² cells.
//
//   ChainedLabels/<n>   building the tree, then the first layout (the target: 2,000
//                       labels, about the most a tree may hold, under 3 s; the cost
//                       grows as n², so 1,000 take about a quarter of that)
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/NSLayoutConstraint.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UIWindow.h"

using namespace tilo::platform;

namespace {

std::shared_ptr<UIWindow> chainedLabels(int count) {
  auto window = UIWindow::create({390, 844}, 1);
  std::shared_ptr<UIView> previous;
  std::vector<std::shared_ptr<NSLayoutConstraint>> constraints;
  for (int i = 0; i < count; ++i) {
    auto label = UILabel::create();
    label->setText("Label " + std::to_string(i));
    label->setTranslatesAutoresizingMaskIntoConstraints(false);
    window->addSubview(label);
    constraints.push_back(label->leftAnchor().constraintEqualToAnchor(window->leftAnchor(), 8));
    constraints.push_back(label->rightAnchor().constraintEqualToAnchor(window->rightAnchor(), -8));
    constraints.push_back(label->topAnchor().constraintEqualToAnchor(
        previous ? previous->bottomAnchor() : window->topAnchor(), 2));
    previous = label;
  }
  NSLayoutConstraint::activateConstraints(constraints);
  return window;
}

void ChainedLabels(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  for (auto _ : state) {
    auto window = chainedLabels(count);
    window->layoutIfNeeded();
    benchmark::DoNotOptimize(window->subviews().back()->frame());
    state.PauseTiming();
    window.reset();  // tearing the tree down is not part of the figure
    state.ResumeTiming();
  }
  state.counters["labels"] = count;
}

}  // namespace

BENCHMARK(ChainedLabels)->Arg(500)->Arg(1000)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
