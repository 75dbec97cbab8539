#pragma once

namespace qrv {

// Raises a flag for the lifetime of the object, lowering it however the scope is left.
class GuardUp {
public:
    explicit GuardUp(bool& guard) : guard_(guard) { guard_ = true; }
    ~GuardUp() { guard_ = false; }
    GuardUp(const GuardUp&) = delete;
    GuardUp& operator=(const GuardUp&) = delete;

private:
    bool& guard_;
};

} // namespace qrv
