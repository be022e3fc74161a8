'use strict';
// One printed line per check and the closing count.

class Report {
  constructor() {
    this.passed = 0;
    this.failed = 0;
  }

  check(name, ok, detail) {
    if (ok) {
      this.passed++;
      console.log(`ok   ${name}`);
    } else {
      this.failed++;
      console.log(`FAIL ${name}${detail ? `: ${detail}` : ''}`);
    }
    return ok;
  }

  // Runs a step whose exception is itself a failed check.
  async guard(name, step) {
    try {
      return await step();
    } catch (error) {
      this.check(name, false, String(error && error.stack ? error.stack.split('\n')[0] : error));
      return undefined;
    }
  }

  summary() {
    console.log(`${this.passed} passed, ${this.failed} failed`);
  }
}

// A short readable list for a failure detail.
function brief(items, limit = 5) {
  const list = [...items];
  const shown = list.slice(0, limit).map((item) => (typeof item === 'string' ? item : JSON.stringify(item)));
  return list.length > limit ? `${shown.join('; ')} (and ${list.length - limit} more)` : shown.join('; ');
}

module.exports = { Report, brief };
