#pragma once

#include <unistd.h>

namespace aerivo {

// Owns one open file descriptor and closes it when it goes, however the code using it returns.
// A negative value owns nothing.
class FileDescriptor {
public:
    explicit FileDescriptor(int descriptor) : descriptor_(descriptor) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return descriptor_; }
    bool isOpen() const { return descriptor_ >= 0; }

    // Closes now and reports close's own result (a delayed write error shows up here).
    int close() {
        const int result = ::close(descriptor_);
        descriptor_ = -1;
        return result;
    }
    void reset() {
        if (descriptor_ >= 0) {
            ::close(descriptor_);
            descriptor_ = -1;
        }
    }

private:
    int descriptor_;
};

} // namespace aerivo
