// TException: the exception for bad arguments that a caller can handle, such
// as an out-of-range row of a data set or a null data set given to a recall.
//
// It carries three texts -- |message| (what happened), |kind| (the class of
// fault) and |origin| ("Class::Operation" that raised it) -- and an optional
// structure of details. Handlers read the fields directly. Each exception owns
// its texts and its detail; copying it (as throwing and catching do) copies
// all of them, so a handler can read them after the raising frame is gone.
//
// The library raises every TException with the four-argument constructor, so
// all three texts are present; only the shorter constructors leave |kind| or
// |origin| null. Throw by value, catch by (const) reference.
#ifndef NETFORGE_KQMESSAGE_TEXCEPTION_H
#define NETFORGE_KQMESSAGE_TEXCEPTION_H

class TKQstructure;

class TException {
 public:
  // All four fields null.
  TException();
  // |message| is copied and must not be null; |kind| is copied when not null.
  // |detail| and |origin| stay null.
  TException(const char* message, const char* kind);
  // The three texts are copied and none may be null. |detail| (null allowed)
  // is taken over, even when the constructor fails for lack of memory.
  TException(const char* message, const char* kind, const char* origin, TKQstructure* detail);
  // Deep copy of the texts and the detail.
  TException(const TException& other);
  TException& operator=(const TException& other);
  ~TException();

  const char* message;   // owned; null only for a default-constructed exception
  const char* kind;      // owned, may be null
  TKQstructure* detail;  // owned, may be null
  const char* origin;    // owned, may be null

 private:
  void Swap(TException& other) noexcept;
};

#endif  // NETFORGE_KQMESSAGE_TEXCEPTION_H
