#include "LongOperation.hpp"

namespace qrv {

LongOperation::LongOperation(DeviceLink& link, Host& host, const std::string& title, int steps, bool cancellable,
                             Steps counting)
    : link_(link), host_(host), previousObserver_(link.exchangeObserver()), total_(steps)
{
    host_.beginProgress(title, steps, cancellable);
    if (counting == Steps::Replies)
        link_.setExchangeObserver([this] {
            if (previousObserver_)
                previousObserver_();
            if (++done_ > total_)
                host_.resizeProgress(total_ = done_);
            host_.stepProgress(done_);
        });
}

LongOperation::~LongOperation()
{
    link_.setExchangeObserver(previousObserver_);
    host_.endProgress();
}

void LongOperation::expectMore(int steps)
{
    if (done_ + steps < total_)
        host_.resizeProgress(total_ = done_ + steps);
}

void LongOperation::complete()
{
    expectMore(0);
    host_.stepProgress(done_);
}

void LongOperation::step(int done)
{
    done_ = done;
    host_.stepProgress(done_);
}

} // namespace qrv
