#pragma once
// Seed codes (cGerm): the identity of a category, and of its task, across installations. An
// export needs one on every exported category; this gives codes to the rows that have none.

#include <string>

namespace sorvik {

// A fresh code: "G" and 16 hexadecimal digits from the system's random source, used by no
// category or task of this database.
std::string NewSeedCode();

// Gives a fresh code to the category nodeId and every category below it whose cGerm is empty,
// and to the tasks bound to them (iTask) whose cGerm is empty, in one transaction. assigned
// counts the rows given a code. False with the reason (GB18030) in error; nothing changes then.
bool AssignSeedCodes(int nodeId, int& assigned, std::string& error);

}  // namespace sorvik
