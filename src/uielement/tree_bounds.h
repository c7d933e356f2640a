// Bounds on the element trees an installer serves, shared by both accessibility backends.
#pragma once

#include <string>

namespace installation_assistant {

// Bounds on trees that an installer serves: a custom IAccessible may list itself or an
// ancestor as its child, claim billions of children or nest without end. What lies past a
// bound is treated as absent.
inline constexpr int kMaxTreeDepth = 256;
inline constexpr long kMaxChildrenPerElement = 10000;
inline constexpr int kMaxParentWalkSteps = 256;
// Elements kept in one tree.
inline constexpr long kMaxElementsPerTree = 10000;
// What one tree's walk may read and take: MSAA reads several raw objects per kept element
// (a control's window object, its frame parts, its client), and a cycle of flattened
// objects fans out without adding any; these stop it.
inline constexpr long kMaxRawObjectsPerTree = 200000;
inline constexpr unsigned long kMaxTreeWalkMilliseconds = 10000;

// Elements kept by the walks on the calling thread so far (a measure: the difference across a pass is its share).
long ElementsTakenOnThisThread();

// Shared by every element of one tree (one matching pass): how much of the bounds is
// used, and which bound has already been reported.
class TreeBounds {
 public:
  // False, and one Warning per tree for this bound, when the budget is spent.
  bool TakeElement();
  // The same for a raw object read on the way, and for the walk's time.
  bool TakeRawObject();
  void ReportDepth(const std::string& where);
  void ReportChildren(long reported);
  void ReportParentWalk();
  // A new pass over the same tree starts with the whole budget.
  void Reset() { *this = TreeBounds(); }

 private:
  long elementsTaken_ = 0;
  bool elementsReported_ = false;
  long rawTaken_ = 0;
  bool walkReported_ = false;
  unsigned long walkStart_ = 0;  // GetTickCount at the first raw object
  bool depthReported_ = false;
  bool childrenReported_ = false;
  bool parentWalkReported_ = false;
};

}  // namespace installation_assistant
