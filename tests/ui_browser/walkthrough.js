// A user's walk through the page, in Debian's headless Chromium: search from the band, sort,
// download a result and watch it complete and appear in Shared, paste a link, pause, resume
// and cancel that download, read a property sheet, and check that a file named like markup
// shows as text and runs nothing. Screenshots of every folder go to the artefact folder.
// Usage: node walkthrough.js ADDRESS ARTIFACT_DIR SCRATCH_DIR
'use strict';

const path = require('path');
const fs = require('fs');
const { chromium } = require(path.join(__dirname, 'node_modules', 'playwright-core'));

const [address, artifacts, scratch] = process.argv.slice(2);
const origin = new URL(address).origin;
const STEP_MS = 60000;
let step = '';

function check(condition, message) {
  if (!condition) throw new Error(message);
}

async function main() {
  const profile = fs.mkdtempSync(path.join(scratch, 'chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    viewport: { width: 1280, height: 800 },
  });
  context.setDefaultTimeout(STEP_MS);
  const page = context.pages()[0] || await context.newPage();
  failurePage = page;
  const problems = [];
  page.on('dialog', (d) => { problems.push('a script dialog opened: ' + d.message()); d.dismiss(); });
  page.on('pageerror', (e) => problems.push('page error: ' + e.message));
  // Failed requests are judged by their answers below, not by the console's line about them.
  page.on('console', (m) => {
    if (m.type() === 'error' && !m.text().startsWith('Failed to load resource')) problems.push('console: ' + m.text());
  });
  // A tip asked for a row that was just cancelled finds nothing; that is no fault.
  page.on('response', (r) => {
    if (r.status() >= 400 && !(r.status() === 404 && r.url().includes('/api/tip'))) problems.push(r.status() + ' ' + r.url());
  });
  failureProblems = problems;
  // Nothing but the page's own origin is ever asked for.
  page.on('request', (r) => {
    if (!r.url().startsWith(origin) && !r.url().startsWith('data:')) problems.push('foreign request: ' + r.url());
  });

  const shot = (name) => page.screenshot({ path: path.join(artifacts, name + '.png') });
  const rows = () => page.locator('#list-spacer .row');
  const rowNamed = (text) => rows().filter({ has: page.locator('.cell').first().filter({ hasText: text }) });
  const open = async (folder) => {
    await page.click(`#tree [data-folder="${folder}"] > .node`);
    await page.waitForFunction((f) => location.hash === '#' + f, folder);
  };
  const menu = async (row, verb) => {
    await row.click({ button: 'right' });
    const item = page.locator(`#menu [data-verb="${verb}"]`);
    await item.waitFor();
    return item;
  };

  step = 'open the page with the token';
  await page.goto(address);
  check(new URL(page.url()).search === '', 'the token stays in the address bar');
  await page.locator('#tree [data-folder="incoming"]').waitFor();
  const cookies = await context.cookies(origin);
  const cookie = cookies.find((c) => c.name === 'tarn_ui');
  check(cookie && cookie.httpOnly && cookie.sameSite === 'Strict', 'the token cookie is HttpOnly and SameSite=Strict');
  check(await page.evaluate(() => document.cookie) === '', 'the script cannot read the token');
  await page.locator('#st-server').filter({ hasText: 'Server:' }).waitFor();
  await open('root');
  await rows().filter({ hasText: 'Incoming' }).waitFor();
  await shot('root');

  step = 'search from the band';
  await page.click('#toolbar-buttons [data-command="search"]');
  await page.fill('#keyword', 'tarn demo');
  await page.click('#search-button');
  await page.waitForFunction(() => location.hash === '#results');
  await rowNamed('tarn demo film.avi').waitFor();
  await rowNamed('tarn demo song.mp3').waitFor();
  // The search's end shows; results keep their keys from then on.
  await page.locator('#search-state').filter({ hasText: 'Search finished.' }).waitFor();

  step = 'a name from the network is text';
  const markup = rowNamed('<img src=x onerror=alert(1)>');
  await markup.waitFor();
  check(await page.locator('#list img, #list-spacer img').count() === 0, 'a file name became an element');
  await shot('results');

  step = 'sort a column';
  const sizes = async () => page.$$eval('#list-spacer .row', (rs) => rs
    .sort((a, b) => Number(a.dataset.index) - Number(b.dataset.index))
    .map((r) => r.children[0].textContent));
  await page.click('#list-head .col:has-text("Size")');
  await page.waitForFunction(() => document.querySelector('#list-head .col[aria-sort="ascending"]')?.textContent.startsWith('Size'));
  await page.waitForFunction(() => document.querySelector('#list-spacer .row[data-index="3"]')?.textContent.includes('film'));
  let order = await sizes();
  check(order[order.length - 1].includes('film'), 'the largest file sorts last: ' + order.join(', '));
  await page.click('#list-head .col:has-text("Size")');
  await page.waitForFunction(() => document.querySelector('#list-spacer .row[data-index="0"]')?.textContent.includes('film'));
  order = await sizes();
  check(order[0].includes('film'), 'descending puts the film first: ' + order.join(', '));

  step = 'the property sheet of a result';
  const film = rowNamed('tarn demo film.avi');
  await (await menu(film, 'properties')).click();
  await page.locator('#dialog [role="tab"]', { hasText: 'General' }).waitFor();
  const tabs = await page.$$eval('#dialog [role="tab"]', (ts) => ts.map((t) => t.textContent));
  check(tabs.join(',') === 'General,Alternate,Summary,About', 'the result sheet has its pages: ' + tabs);
  check(await page.locator('#dialog').getByText('Abailability:').isVisible(), 'the General page names the sources');
  await page.keyboard.press('ArrowRight');
  await page.keyboard.press('ArrowRight');
  await page.locator('#dialog .summary').getByText('Completed Nodes').waitFor();
  await shot('properties');
  await page.click('#dialog button[value="cancel"]');

  step = 'download a result, watch it reach 100 %, find it in Shared';
  await (await menu(film, 'download')).click();
  await open('incoming');
  await rowNamed('tarn demo film.avi').waitFor();
  // The bar moves while the file comes in.
  await page.waitForFunction(() => {
    const bar = document.querySelector('#list-spacer .row .bar[role="progressbar"]');
    const value = bar && Number(bar.getAttribute('aria-valuenow'));
    return value > 0 && value < 100;
  });
  await shot('incoming');
  // It leaves Incoming when it completes; the completion prompt asks about the Shared folder.
  await page.locator('#dialog').getByText('downlaod complete').waitFor({ timeout: 120000 });
  await shot('completion-prompt');
  await page.click('#dialog button[value="cancel"]');
  await open('shared');
  await rowNamed('tarn demo film.avi').waitFor();
  await shot('shared');

  step = 'paste a link and pause, resume and cancel its download';
  const link = 'ed2k://|file|tarn%20pasted.bin|5000000|0123456789ABCDEF0123456789ABCDEF|/';
  await page.fill('#link-input', link);
  await page.click('#link-form button');
  await page.locator('#toast').filter({ hasText: 'tarn pasted.bin' }).waitFor();
  await open('incoming');
  const pasted = rowNamed('tarn pasted.bin');
  await pasted.waitFor();
  await (await menu(pasted, 'pause')).click();
  await page.locator('#list-spacer .row.paused').waitFor();
  // By keyboard alone: the menu key opens the menu on the chosen row.
  await page.locator('#list').focus();
  await page.keyboard.press('Home');
  await page.keyboard.press('Shift+F10');
  await page.locator('#menu [data-verb="resume"]:not([aria-disabled])').waitFor();
  check(await page.locator('#menu [data-verb="pause"][aria-disabled="true"]').count() === 1, 'Pause is greyed while paused');
  await page.keyboard.press('ArrowDown');
  await page.keyboard.press('Escape');
  await (await menu(pasted, 'resume')).click();
  await page.waitForFunction(() => !document.querySelector('#list-spacer .row.paused'));

  step = 'drop a link, choose both downloads by keyboard and cancel them';
  await page.evaluate((text) => {
    const data = new DataTransfer();
    data.setData('text/plain', text);
    const target = document.querySelector('#content');
    for (const type of ['dragenter', 'dragover', 'drop'])
      target.dispatchEvent(new DragEvent(type, { dataTransfer: data, bubbles: true, cancelable: true }));
  }, 'ed2k://|file|tarn%20dropped.bin|6000000|FEDCBA9876543210FEDCBA9876543210|/');
  const dropped = rowNamed('tarn dropped.bin');
  await dropped.waitFor();
  await dropped.click();
  await page.keyboard.press('Shift+ArrowDown');
  await page.locator('#st-items').filter({ hasText: '2 selected' }).waitFor();
  await page.keyboard.press('Delete');
  await pasted.waitFor({ state: 'detached' });
  await dropped.waitFor({ state: 'detached' });

  step = 'readable at 200 % zoom in the dark theme';
  await page.emulateMedia({ colorScheme: 'dark' });
  await page.setViewportSize({ width: 640, height: 400 });  // 1280 x 800 at 200 %
  await open('results');
  await rowNamed('tarn demo film.avi').waitFor();
  const overflow = await page.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
  check(overflow <= 0, 'the page is wider than the window at 200 %: ' + overflow + ' px');
  const background = await page.evaluate(() => getComputedStyle(document.body).backgroundColor);
  check(background !== 'rgb(255, 255, 255)', 'the dark theme follows the system');
  await shot('results-200-percent-dark');
  await page.setViewportSize({ width: 1280, height: 800 });
  await page.emulateMedia({ colorScheme: 'light' });

  step = 'a clear page while the daemon is away, and recovery';
  fs.writeFileSync(path.join(scratch, 'stop-daemon'), '');
  await page.locator('#offline').waitFor({ timeout: 30000 });
  await shot('daemon-unreachable');
  fs.writeFileSync(path.join(scratch, 'start-daemon'), '');
  await page.locator('#offline').waitFor({ state: 'hidden', timeout: 60000 });
  await open('shared');
  await rowNamed('tarn demo film.avi').waitFor();

  step = 'the search entry opens the results with the band';
  await page.goto('about:blank');
  await page.goto(origin + '/#search');
  await page.waitForFunction(() => location.hash === '#results');
  check(await page.locator('#band').isVisible(), 'the search band is shown');
  await page.waitForFunction(() => document.activeElement?.id === 'keyword');

  check(problems.length === 0, problems.join('\n'));
  await context.close();
}

let failurePage = null;
let failureProblems = [];
main().then(() => process.exit(0), async (error) => {
  console.error('step "' + step + '": ' + error.message);
  if (failureProblems.length) console.error(failureProblems.join('\n'));
  if (failurePage) await failurePage.screenshot({ path: path.join(artifacts, 'failure.png') }).catch(() => {});
  process.exit(1);
});
