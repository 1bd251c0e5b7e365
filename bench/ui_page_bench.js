// Measures the page in headless Chromium against bench/ui_page_server: how long the Shared
// folder of 10,000 files takes to show, how long a sort by name takes, and how fast the page
// answers input while the lists change 1,000 times a second.
// Usage: node ui_page_bench.js ADDRESS SCRATCH_DIR
'use strict';

const path = require('path');
const fs = require('fs');
const { chromium } = require(path.join(__dirname, '..', 'tests', 'ui_browser', 'node_modules', 'playwright-core'));

const [address, scratch] = process.argv.slice(2);

function percentile(values, p) {
  const sorted = values.slice().sort((a, b) => a - b);
  return sorted[Math.min(sorted.length - 1, Math.floor(sorted.length * p))];
}

(async () => {
  const context = await chromium.launchPersistentContext(fs.mkdtempSync(path.join(scratch, 'chromium-')), {
    executablePath: '/usr/bin/chromium', headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    viewport: { width: 1280, height: 800 },
  });
  const page = context.pages()[0] || await context.newPage();
  await page.goto(address);
  await page.locator('#tree [data-folder="shared"]').waitFor();

  // Shown: from the click on "Shared" to its rows on screen with the whole count known.
  const shows = [];
  for (let i = 0; i < 5; i++) {
    await page.click('#tree [data-folder="incoming"] > .node');
    await page.waitForFunction(() => document.querySelector('#folder-title').textContent === 'Incoming');
    const t0 = Date.now();
    await page.click('#tree [data-folder="shared"] > .node');
    await page.waitForFunction(() => document.querySelector('#folder-title').textContent === 'Shared' &&
      document.querySelectorAll('#list-spacer .row').length > 10 &&
      /10000 items/.test(document.querySelector('#st-items').textContent));
    shows.push(Date.now() - t0);
  }

  // Sort by name, both ways: from the click to the new first row.
  const sorts = [];
  for (let i = 0; i < 4; i++) {
    const before = await page.textContent('#list-spacer .row[data-index="0"]');
    const t0 = Date.now();
    await page.click('#list-head .col[data-column="0"]');
    await page.waitForFunction((b) => {
      const row = document.querySelector('#list-spacer .row[data-index="0"]');
      return row && row.textContent !== b;
    }, before);
    sorts.push(Date.now() - t0);
  }

  // Input while the lists change: from each key press to the frame that shows its effect.
  await page.click('#list-spacer .row[data-index="0"]');
  await page.evaluate(() => {
    window.latencies = [];
    document.querySelector('#list').addEventListener('keydown', (e) => {
      const start = e.timeStamp;
      requestAnimationFrame(() => setTimeout(() => window.latencies.push(performance.now() - start), 0));
    }, true);
  });
  for (let i = 0; i < 80; i++) {
    await page.keyboard.press(i % 20 < 10 ? 'ArrowDown' : 'PageDown');
    await page.waitForTimeout(50);
  }
  await page.click('#tree [data-folder="incoming"] > .node');
  await page.waitForFunction(() => document.querySelector('#folder-title').textContent === 'Incoming');
  await page.click('#list-spacer .row[data-index="0"]');
  for (let i = 0; i < 40; i++) {
    await page.keyboard.press('ArrowDown');
    await page.waitForTimeout(50);
  }
  const latencies = await page.evaluate(() => window.latencies);
  const updates = await page.evaluate(() => new Promise((resolve) => {
    let n = 0;
    const events = new EventSource('/api/events');
    events.onmessage = () => { n++; };
    setTimeout(() => { events.close(); resolve(n); }, 5000);
  }));

  const ms = (v) => v.toFixed(0) + ' ms';
  console.log('Shared folder of 10,000 files shown: median ' + ms(percentile(shows, 0.5)) + ', worst ' + ms(Math.max(...shows)));
  console.log('sort by name (10,000 files): median ' + ms(percentile(sorts, 0.5)) + ', worst ' + ms(Math.max(...sorts)));
  console.log('input to frame while the lists change: median ' + ms(percentile(latencies, 0.5)) +
              ', 95th ' + ms(percentile(latencies, 0.95)) + ', worst ' + ms(Math.max(...latencies)) +
              ' (' + latencies.length + ' key presses)');
  console.log('event stream messages a page received in 5 s: ' + updates);
  await context.close();
})().catch((e) => { console.error(e); process.exit(1); });
