#pragma once
// The extraction engine: turns the pages of a run into records of the task's result table.
//
// RunExtraction is called on the run's worker thread after the run's first page has been fetched
// into params.pageText (params.url its URL; a test run may instead hand over a page of its own
// with an empty URL). It reads the task script, prepares the result table, cuts every page into
// records on up to nine nested loop levels, builds each record field by field, runs the download
// step, buffers accepted records and stores them in batches, follows next-page links, range
// values and the run's keywords, and in a test run (task 0) writes a readable trace into
// params.testOutput instead of storing anything.
//
// The run's fetcher (params.fetcher) fetches every further page; without one the run processes
// only the page it was given. While it runs, params.recordBuffer points at the run's buffer.
//
// Resume point: params.nextUrl, params.startPage and the keyword cursor always name the next
// page still to be harvested: the current page while its records are being built, the following
// page (next link, next range value, or the next keyword with an empty URL) once they are all
// buffered. Each batch is stored together with that resume point and the page record: how many
// matches of the deepest level on the resume page were dealt with (all of them once the page is
// buffered). A page with more matches than a batch is stored in batches as it is cut, so memory is
// bounded by the batch, not the page. A run killed at any moment resumes at the first match whose
// record was not stored: it fetches that page again and skips the matches before it. A stop
// request ends the run before the next record; the records built since the page's last stored
// batch are taken out of the buffer (and out of the statistics) because the resumed run builds
// them again.
//
// Returns false when the setup fails: no table name, a table the database refuses, a column type,
// a level, field, narrowing or next-page pattern that does not compile. The reason, naming the
// key, is in params.failure and params.testOutput and sent to the run's window; a real run is
// then stopped as paused, so that it does not count as finished. True otherwise, also when the
// run was stopped.

#include "engine/thread_params.h"

namespace sorvik {

bool RunExtraction(ThreadParams& params);

}  // namespace sorvik
