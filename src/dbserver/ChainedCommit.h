#pragma once

// A commit its caller follows at once with Begin. An engine on a server then opens the next
// transaction, and reads the records the visit reaches next, in the commit's round trip. Not
// every Transaction offers it: callers ask with dynamic_cast and commit plainly without it.
class ChainedCommit {
public:
    virtual ~ChainedCommit() = default;
    virtual void CommitThenBegin() = 0;
};
