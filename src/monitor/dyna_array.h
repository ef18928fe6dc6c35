// A growable array of fixed-size, zero-filled records in one memory block,
// with a cursor that every move also writes into a pointer of the owner's
// choosing. Records are plain bytes: the array never frees what they point to.
#pragma once

#include <cstddef>
#include <cstdint>

class TDynaArray {
  public:
    // `typpoi` is the owner's cursor variable (or null); it is written on
    // every cursor move with the current record's address.
    template <class T>
    TDynaArray(uint32_t thesize, T** typpoi) : TDynaArray(thesize, static_cast<void*>(typpoi)) {}
    TDynaArray(uint32_t thesize, std::nullptr_t)
        : TDynaArray(thesize, static_cast<void*>(nullptr)) {}
    virtual ~TDynaArray();

    TDynaArray(const TDynaArray&) = delete;
    TDynaArray& operator=(const TDynaArray&) = delete;

    void* GetObject(uint32_t index);
    // Add and Insert return null when memory runs out; the array is then
    // unchanged and the failure has been reported.
    void* Add();
    void* Insert(int32_t nr);
    void Delete(int32_t nr);
    void Change(int32_t nr1, int32_t nr2);
    void Clear();
    void First();
    bool Next();
    bool WhileNext();
    bool AllocMoreMem();
    void AllocLessMem();

    // Appends `n` zeroed records in one block change and leaves the cursor on
    // the last of them, exactly as `n` single Adds would. Returns the first
    // new record, or null (array unchanged) when memory runs out.
    void* AddMany(uint32_t n);

    void* outeraobj;  // address of the owner's pointer variable, or null
    void* aobj = nullptr;
    void* poi = nullptr;
    uint32_t count = 0;
    int32_t aobjnr = -1;
    uint32_t amemsize = 0;
    uint32_t buffersize = 100;
    uint32_t size;

  private:
    enum class Fit { Same, NewBlock, Failed };

    TDynaArray(uint32_t thesize, void* typpoi) : outeraobj(typpoi), size(thesize) {}

    uint8_t* Record(uint32_t index) const {
        return static_cast<uint8_t*>(poi) + size_t{index} * size;
    }
    void SetCursor(int32_t index);
    void ClearCursor();
    void Publish();
    uint64_t FittingBlock(uint32_t records) const;
    Fit FitMore();
    // Moves the records into a new zeroed block of `bytes`. False, with the
    // failure reported and nothing changed, when memory runs out.
    bool Reblock(uint64_t bytes, int errornr);
};
