// Stage marks: "Start NAME" before a stage and "End NAME" after it.
#pragma once

// Records one mark ("Start", "Start OSName", ...).
void StageMark(const char* mark);

// Brackets a stage: marks "Start NAME" now and "End NAME" when it goes out of scope.
class Stage {
 public:
  explicit Stage(const char* name);
  ~Stage();
  Stage(const Stage&) = delete;
  Stage& operator=(const Stage&) = delete;

 private:
  const char* name_;
};
