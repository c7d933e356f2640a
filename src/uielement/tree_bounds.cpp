#include "uielement/tree_bounds.h"

#include "common/trace.h"
#include "platform/win32.h"

namespace installation_assistant {
namespace {

thread_local long elementsTakenOnThread = 0;

}  // namespace

long ElementsTakenOnThisThread() { return elementsTakenOnThread; }

bool TreeBounds::TakeElement() {
  if (elementsTaken_ < kMaxElementsPerTree) {
    ++elementsTaken_;
    ++elementsTakenOnThread;
    return true;
  }
  if (!elementsReported_) {
    elementsReported_ = true;
    TRACE(Warning) << "Element tree larger than " << kMaxElementsPerTree
                   << " elements; the rest is treated as absent";
  }
  return false;
}

bool TreeBounds::TakeRawObject() {
  if (rawTaken_ == 0) walkStart_ = GetTickCount();
  const bool tooMany = rawTaken_ >= kMaxRawObjectsPerTree;
  const bool tooLong = GetTickCount() - walkStart_ > kMaxTreeWalkMilliseconds;
  if (!tooMany && !tooLong) {
    ++rawTaken_;
    return true;
  }
  if (!walkReported_) {
    walkReported_ = true;
    if (tooMany) {
      TRACE(Warning) << "Element tree walk stopped after " << kMaxRawObjectsPerTree
                     << " objects read; the rest is treated as absent";
    } else {
      TRACE(Warning) << "Element tree walk stopped after " << kMaxTreeWalkMilliseconds
                     << " ms; the rest is treated as absent";
    }
  }
  return false;
}

void TreeBounds::ReportDepth(const std::string& where) {
  if (depthReported_) return;
  depthReported_ = true;
  TRACE(Warning) << "Element tree deeper than " << kMaxTreeDepth << " levels below " << where
                 << "; deeper elements are treated as absent";
}

void TreeBounds::ReportChildren(long reported) {
  if (childrenReported_) return;
  childrenReported_ = true;
  TRACE(Warning) << "An element reports " << reported << " children; only the first "
                 << kMaxChildrenPerElement << " are read";
}

void TreeBounds::ReportParentWalk() {
  if (parentWalkReported_) return;
  parentWalkReported_ = true;
  TRACE(Warning) << "Parent chain longer than " << kMaxParentWalkSteps << " steps; treated as ending there";
}

}  // namespace installation_assistant
