// Keeping a freed big block for the next growing block, while logs are read one after another.
#pragma once

namespace common {

// While one lives, the largest big block freed (8 MB or more) is kept rather than given back, and the
// next GrowingBlock begins in its pages: the system need not clear a fresh log's memory again, which
// for a month of rotated logs costs about as much as inflating them. The pages kept are the process's
// until then.
class KeepFreedBlock {
public:
    KeepFreedBlock();
    ~KeepFreedBlock();
    KeepFreedBlock(const KeepFreedBlock&) = delete;
    KeepFreedBlock& operator=(const KeepFreedBlock&) = delete;
};

}  // namespace common
