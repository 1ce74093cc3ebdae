// Auto Layout of the largest trees it takes: n labels in a vertical chain (each one's top
// on the bottom of the one before, both sides pinned to the window), laid out from scratch.
// A chain is the worst shape for the solver: label i's position depends on the heights of
// all the labels above it, which spelled out would fill the tableau with about n² cells.
//
//   ChainedLabels/<n>   building the tree, then the first layout
//
// Then the targets, from the median CPU time of seven runs of each size: 2,000 labels
// (about the most a tree may hold) under 100 ms, and at most 2.5 times what 1,000 take
// (no worse than n log n in practice).
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
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

double cpuMillis() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) * 1e-6;
}

// Median CPU time of building and laying out `count` chained labels.
double medianMillis(int count) {
  std::vector<double> samples;
  for (int i = 0; i < 7; ++i) {
    const double start = cpuMillis();
    auto window = chainedLabels(count);
    window->layoutIfNeeded();
    samples.push_back(cpuMillis() - start);
    benchmark::DoNotOptimize(window->subviews().back()->frame());
  }
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}

}  // namespace

BENCHMARK(ChainedLabels)->Arg(500)->Arg(1000)->Arg(2000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  const double thousand = medianMillis(1000), twoThousand = medianMillis(2000);
  std::printf("chained labels: 1,000 in %.1f ms, 2,000 in %.1f ms CPU (target < 100 ms)\n",
              thousand, twoThousand);
  std::printf("chained labels 1,000 -> 2,000: %.2fx (target <= 2.5x)\n", twoThousand / thousand);
  return 0;
}
