#include "core/presenter.h"

#include <utility>

#include "core/console_presenter.h"

namespace tolvarin {
namespace {

std::unique_ptr<MessagePresenter>& Installed() {
  static std::unique_ptr<MessagePresenter> presenter;
  return presenter;
}

}  // namespace

MessagePresenter& Presenter() {
  auto& presenter = Installed();
  if (!presenter) presenter = std::make_unique<ConsolePresenter>();
  return *presenter;
}

std::unique_ptr<MessagePresenter> SetPresenter(std::unique_ptr<MessagePresenter> presenter) {
  return std::exchange(Installed(), std::move(presenter));
}

}  // namespace tolvarin
