#include "LongOperation.hpp"

namespace qrv {

LongOperation::LongOperation(DeviceLink& link, Host& host, const std::string& title, int steps, bool cancellable,
                             Steps counting)
    : link_(link), host_(host), previousObserver_(link.exchangeObserver())
{
    host_.beginProgress(title, steps, cancellable);
    if (counting == Steps::Replies)
        link_.setExchangeObserver([this] {
            if (previousObserver_)
                previousObserver_();
            host_.stepProgress(++done_);
        });
}

LongOperation::~LongOperation()
{
    link_.setExchangeObserver(previousObserver_);
    host_.endProgress();
}

void LongOperation::step(int done)
{
    done_ = done;
    host_.stepProgress(done_);
}

} // namespace qrv
